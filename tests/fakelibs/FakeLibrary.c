/* A look-alike media library: one dummy function per required entry point of
   the list FAKE_LIST; optional entry points are left out. Only the names
   matter: the loader looks them up, the tests never call them except for the
   set-up calls the loader makes after binding, which accept anything. */
#include "media/FFEntryPoints.h"

#define FAKE_REQUIRED(n) int n(void) { return 0; }
#define FAKE_OPTIONAL(n)
FAKE_LIST(FAKE_REQUIRED, FAKE_OPTIONAL)
