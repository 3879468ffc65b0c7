#pragma once
// The process-wide entry-point variables of the media libraries.
//
// Every call into the media libraries goes through a variable of namespace
// `ff`, typed from the installed headers and filled by the loader (FFLoad.h)
// when the library is bound; empty while it is not. Calling `ff::name` before
// the library is loaded is a programming error. The headers are used for
// types only: nothing links against the libraries.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavdevice/avdevice.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/avstring.h>
#include <libavutil/channel_layout.h>
#include <libavutil/cpu.h>
#include <libavutil/dict.h>
#include <libavutil/fifo.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
#include <libavutil/samplefmt.h>
#include <libavutil/time.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "media/FFEntryPoints.h"

// Replaced by the function of the same name below.
#undef av_opt_set_int_list

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace ff {

#define QSR_FF_DECLARE(name) inline decltype(&::name) name = nullptr;
QSR_AVUTIL_ENTRIES(QSR_FF_DECLARE, QSR_FF_DECLARE)
QSR_SWRESAMPLE_ENTRIES(QSR_FF_DECLARE, QSR_FF_DECLARE)
QSR_SWSCALE_ENTRIES(QSR_FF_DECLARE, QSR_FF_DECLARE)
QSR_AVCODEC_ENTRIES(QSR_FF_DECLARE, QSR_FF_DECLARE)
QSR_AVFORMAT_ENTRIES(QSR_FF_DECLARE, QSR_FF_DECLARE)
QSR_AVFILTER_ENTRIES(QSR_FF_DECLARE, QSR_FF_DECLARE)
QSR_AVDEVICE_ENTRIES(QSR_FF_DECLARE, QSR_FF_DECLARE)
QSR_LIBC_ENTRIES(QSR_FF_DECLARE, QSR_FF_DECLARE)
#undef QSR_FF_DECLARE

// Header inlines and macros of the libraries that call library functions,
// rebuilt over the bound entry points.

// av_err2str: the library's text for a result code.
std::string err2str(int errnum);

// avio_tell: the current position of an I/O context.
inline int64_t avio_tell(AVIOContext* s) { return ff::avio_seek(s, 0, SEEK_CUR); }

// av_opt_set_int_list: sets a list option from a list ended by `term`.
template <typename T>
int av_opt_set_int_list(void* obj, const char* name, const T* list, uint64_t term, int flags) {
  const unsigned count = ff::av_int_list_length_for_size(sizeof(T), list, term);
  if (count > static_cast<unsigned>(INT_MAX) / sizeof(T)) return AVERROR(EINVAL);
  return ff::av_opt_set_bin(obj, name, reinterpret_cast<const uint8_t*>(list),
                            static_cast<int>(count * sizeof(T)), flags);
}

}  // namespace ff

#pragma GCC diagnostic pop
