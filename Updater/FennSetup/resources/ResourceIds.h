/* Resource ids of FennSetup.exe, shared by the resource script (FennSetup.rc) and the code.
   Plain #defines only: the resource compiler reads this file through the C preprocessor. The
   payloads themselves (ids from FENN_FIRST_PAYLOAD_ID on, their target names and recorded times)
   are listed in payloads.txt beside this file. */
#ifndef FENN_RESOURCE_IDS_H
#define FENN_RESOURCE_IDS_H

/* Type name of the payload containers and of the codec library: a string in the code, a bare
   word to the resource compiler, which takes a quoted type for a file name. */
#ifdef RC_INVOKED
#define FENN_PAYLOAD_TYPE CUSTOM
#else
#define FENN_PAYLOAD_TYPE "CUSTOM"
#endif

/* The catalogue starts here and ends at the first id without a string-table entry. */
#define FENN_FIRST_PAYLOAD_ID 101

/* The codec library the setup stages for its own use, uncompressed. */
#define FENN_CODEC_LIBRARY_ID 1001

/* The program icon: group 1 with the images 30001 (16x16) and 30002 (32x32). */
#define FENN_ICON_GROUP_ID 1
#define FENN_ICON_IMAGE_FIRST_ID 30001

#endif
