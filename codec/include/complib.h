/* complib.h: the public interface of the codec library (CompLib.dll on Windows, libcomplib.so on
 * Linux). Two operations, file to file: compress a normal file into a VX-format file (one zlib
 * stream followed by the 24-byte file-times trailer) and turn a VX-format file back into the normal
 * file with its three times restored. Paths are NUL-terminated narrow strings (the system ANSI code
 * page on Windows); the result is a status: 0 on success, anything else a failure. */
#ifndef COMPLIB_H
#define COMPLIB_H

#include <stdint.h>

#if defined(_WIN32)
#define COMPLIB_CALL __stdcall
#define COMPLIB_EXPORT /* exported by the module definition file, by name at ordinals 2 and 3 */
#else
#define COMPLIB_CALL
#define COMPLIB_EXPORT __attribute__((visibility("default")))
#endif

/* Status codes besides 0 (success). zlib's negative codes are passed through unchanged:
 * -1 Z_ERRNO (a read of the input failed, or an output write stored fewer bytes than asked: the
 * content is never cut short silently), -2 Z_STREAM_ERROR (unusable stream,
 * preset dictionary requested, or a compression level outside -1..9), -3 Z_DATA_ERROR (corrupt
 * data: header, deflate data or Adler-32), -4 Z_MEM_ERROR, -5 Z_BUF_ERROR (input ended early). */
#define COMPLIB_ERR_OPEN_FORMAT_FILE ((int32_t)-2147483647) /* 0x80000001 */
#define COMPLIB_ERR_OPEN_NOM_FILE ((int32_t)-2147483646)    /* 0x80000002 */

#ifdef __cplusplus
extern "C" {
#endif

/* Ordinal 2. Compresses `source` (the normal file) into `destination` (the VX-format file) at zlib
 * level `level` (0..9, or -1 for zlib's default 6). */
COMPLIB_EXPORT int32_t COMPLIB_CALL Comp2VXFormatFile(const char* source, const char* destination,
                                                      int32_t level);

/* Ordinal 3. Decodes `source` (a VX-format file) into `destination` (the normal file) and sets the
 * destination's times to those of the trailer. */
COMPLIB_EXPORT int32_t COMPLIB_CALL DecompVXFormat2NomFile(const char* source,
                                                           const char* destination);

/* Pointer types for hosts that bind the operations at run time (GetProcAddress, dlsym). */
typedef int32_t(COMPLIB_CALL* Comp2VXFormatFileFn)(const char*, const char*, int32_t);
typedef int32_t(COMPLIB_CALL* DecompVXFormat2NomFileFn)(const char*, const char*);

#ifdef __cplusplus
} /* extern "C" */

namespace complib {
/* The library cannot open the VX-format file (0x80000001). */
constexpr int32_t kErrOpenFormatFile = COMPLIB_ERR_OPEN_FORMAT_FILE;
/* The library cannot open the normal file (0x80000002). */
constexpr int32_t kErrOpenNomFile = COMPLIB_ERR_OPEN_NOM_FILE;
}  // namespace complib
#endif

#endif /* COMPLIB_H */
