/* The load configuration of each shipped exe. Windows 10 1607 and later read its
   DependentLoadFlags: the DLLs that the exe's static imports load in turn are then looked for
   in System32 only, never beside the exe. Debian's ld 2.40 links this structure but leaves the
   data directory that points at it empty; cmake/pe-load-config.py fills the directory and the
   field after the link (the linker is told to keep the structure, which nothing references). */
#include <windows.h>

/* The structure of this processor, ending with the SEH handler table (none: zero). */
const IMAGE_LOAD_CONFIG_DIRECTORY _load_config_used = {sizeof(IMAGE_LOAD_CONFIG_DIRECTORY)};
