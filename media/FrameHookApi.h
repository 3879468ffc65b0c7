/* The interface of a frame hook module: a shared library that changes every
 * video picture of a conversion in place. Plain C, so that modules can be
 * written in C or C++ without the program's headers beyond this one.
 *
 * A module exports, with C linkage:
 *   int  Configure(void** ctx, int argc, char* argv[]);   optional
 *   void Process(void* ctx, TAVPicture* picture, int pix_fmt,
 *                int width, int height, int64_t pts);     required
 *   void Release(void* ctx);                               optional
 *
 * Configure receives the module's arguments, argv[0] being the module name
 * as given; it stores its own context in *ctx and returns 0 on success. The
 * strings stay valid until Release. pix_fmt is an AVPixelFormat value of the
 * bound media libraries; pts is in microseconds. Without Configure the
 * module may only be added without arguments and Process gets a null ctx. */
#ifndef QSR_MEDIA_FRAMEHOOKAPI_H
#define QSR_MEDIA_FRAMEHOOKAPI_H

#include <stdint.h>

#include "media/FFPicture.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef int (*TFrameHookConfigureFn)(void** ctx, int argc, char* argv[]);
typedef void (*TFrameHookProcessFn)(void* ctx, TAVPicture* picture, int pix_fmt, int width,
                                    int height, int64_t pts);
typedef void (*TFrameHookReleaseFn)(void* ctx);

#ifdef __cplusplus
}
#endif

#endif
