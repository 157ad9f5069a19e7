#include "setup/frmPanel.h"
