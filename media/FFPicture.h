/* A picture of the media libraries in plain C: four plane pointers and four
 * line sizes (bytes per row, may differ from width * bytes per pixel). Its
 * layout equals the data/linesize members of an AVFrame, so those can be
 * copied in and out with memcpy. Shared with frame hook modules. */
#ifndef QSR_MEDIA_FFPICTURE_H
#define QSR_MEDIA_FFPICTURE_H

#include <stdint.h>

typedef struct TAVPicture {
  uint8_t* data[4];
  int linesize[4];
} TAVPicture;

#endif
