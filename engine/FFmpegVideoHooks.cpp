// Video hooks and the preview: the input hook (or the vhook chain) on each
// decoded picture, the output hook on each picture about to be encoded, and
// the preview hooks (a bitmap event or the preview window) at most once per
// PreviewInterval. Hooks always work on a copy owned by the run, never on a
// picture a decoder or an encoder may still hold.
#include "engine/FFmpegRunTables.h"

namespace engine {
namespace {

// A writable copy of ASrc in ADst; ADst's buffer is reused while the
// geometry stays and nobody else holds it.
bool CopyPicture(FramePtr& ADst, const AVFrame* ASrc) {
  if (!ADst) ADst.reset(ff::av_frame_alloc());
  AVFrame* d = ADst.get();
  if (!d) return false;
  if (!d->buf[0] || d->width != ASrc->width || d->height != ASrc->height || d->format != ASrc->format) {
    ff::av_frame_unref(d);
    d->width = ASrc->width;
    d->height = ASrc->height;
    d->format = ASrc->format;
    if (ff::av_frame_get_buffer(d, 0) < 0) return false;
  } else if (ff::av_frame_make_writable(d) < 0) {
    return false;
  }
  return ff::av_frame_copy(d, ASrc) >= 0 && ff::av_frame_copy_props(d, ASrc) >= 0;
}

TAVPicture PictureOf(const AVFrame* AFrame) {
  TAVPicture p{};
  for (int i = 0; i < 4; ++i) {
    p.data[i] = AFrame->data[i];
    p.linesize[i] = AFrame->linesize[i];
  }
  return p;
}

// Hands APicture to AEvent as a bitmap and, when the handler keeps its
// changes, puts the bitmap back. AConverted: the converter's bitmap holds
// exactly the picture afterwards.
void RunVideoHook(TCustomFFmpeg& E, TVideoHookEvent& AEvent, THookState& AState, bool& AConverted,
                         int64_t APts, int32_t AFrameNumber, AVFrame* APicture) {
  media::TFormatConverter& conv = AState.converter;
  conv.SetBitsPixel(E.HookBitsPixel());
  const auto fmt = static_cast<AVPixelFormat>(APicture->format);
  const TAVPicture pic = PictureOf(APicture);
  const bool ok = conv.PictureToRGB(pic, fmt, true, APicture->height, APicture->width);
  AConverted = ok;
  bool stop = !ok;
  if (!ok) {
    media::GetFFLogger().Log(&E, media::llError, conv.LastErrMsg());
  } else {
    bool update = true;
    try {
      AEvent(&E, conv.Bitmap(), AFrameNumber, APts, update, stop);
    } catch (const std::exception& ex) {
      media::GetFFLogger().Log(&E, media::llError, std::string("Error occurs VideoHook event: ") + ex.what());
      update = false;
    }
    if (update) {
      conv.BitmapToRGB();
      if (conv.Converted() && !conv.RGBToPicture(pic, fmt, APicture->height, APicture->width)) {
        media::GetFFLogger().Log(&E, media::llError, conv.LastErrMsg());
        stop = true;
      }
    } else if (E.FPostHooks) {
      AConverted = false;  // the bitmap may hold drawing that is not in the video
    }
  }
  if (stop) AEvent = nullptr;
}

}  // namespace

AVFrame* TConversionRun::PrepareInputPicture(TAVInputStream& AIst, AVFrame* AFrame) {
  const bool event = static_cast<bool>(E.FOnInputVideoHook);
  if (!event && E.FFirstHook.Empty()) return nullptr;
  if (!CopyPicture(AIst.hooked, AFrame)) {
    E.Log(media::llError, "hook buf malloc error.");
    return nullptr;
  }
  AVFrame* pic = AIst.hooked.get();
  if (event) {
    bool converted = false;
    RunVideoHook(E, E.FOnInputVideoHook, FInputHook, converted, AIst.pts, AIst.frame_number, pic);
  } else {
    E.RunVideoHooks(pic, AIst.pts);
  }
  return pic;
}

AVFrame* TConversionRun::RunOutputHooks(TOutputRun& AOst, AVFrame* APicture, int32_t AFrameNumber,
                                        int64_t APts) {
  AVFrame* pic = APicture;
  bool converted = false;
  if (E.FOnOutputVideoHook) {
    if (!CopyPicture(AOst.hooked, APicture)) {
      E.Log(media::llError, "hook buf malloc error.");
    } else {
      pic = AOst.hooked.get();
      RunVideoHook(E, E.FOnOutputVideoHook, FOutputHook, converted, APts, AFrameNumber, pic);
    }
  }

  // The preview mode may change between frames from another thread: read
  // it under the lock, but paint without it (painting waits for the UI
  // thread, which may be the one asking for the lock).
  TPostHooks hooks;
  bool changed;
  {
    std::lock_guard lock(E.FPreviewLock);
    hooks = E.FPostHooks;
    changed = E.FPostHooksChanged;
    E.FPostHooksChanged = false;
  }
  THookState& st = FOutputHook;
  if (!(hooks & phPreview) && st.previewer) st.previewer.reset();
  const bool bitmap = (hooks & phBitmap) && E.FOnPreviewBitmap;
  if (!bitmap && !(hooks & phPreview)) return pic;
  const int64_t now = ff::av_gettime_relative();
  if (now - st.preview_last_time <= E.PreviewInterval) return pic;
  st.preview_last_time = now;
  bool ok = true;
  if (!converted || changed)
    ok = st.converter.PictureToRGB(PictureOf(pic), static_cast<AVPixelFormat>(pic->format), true, pic->height,
                                   pic->width);
  if (!ok) {
    E.Log(media::llError, st.converter.LastErrMsg());
  } else if (bitmap) {
    try {
      E.FOnPreviewBitmap(&E, st.converter.Bitmap(), AFrameNumber, APts);
    } catch (const std::exception& ex) {
      E.Log(media::llError, std::string("Error occurs VideoHook event: ") + ex.what());
      ok = false;
    }
  } else {
    if (!st.previewer) st.previewer = std::make_unique<media::TPreviewer>();
    ok = st.previewer->PaintFrame(st.converter.Bitmap(), AFrameNumber, APts);  // false once closed
  }
  if (!ok) {
    const TPostHooks dropped = bitmap ? phBitmap : phPreview;
    {
      std::lock_guard lock(E.FPreviewLock);
      E.FPostHooks = static_cast<TPostHooks>(E.FPostHooks & ~dropped);
    }
    if (dropped == phPreview) st.previewer.reset();
  }
  return pic;
}

}  // namespace engine
