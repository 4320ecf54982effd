#include "imaging/codec_table.h"

#include <algorithm>
#include <array>

#include "imaging/bmp/bmp_probe.h"
#include "imaging/bmp/bmp_read.h"
#include "imaging/bmp/bmp_write.h"
#include "imaging/gif/gif_convert.h"
#include "imaging/gif/gif_probe.h"
#include "imaging/gif/gif_write.h"
#include "imaging/jpeg/jpeg_probe.h"
#include "imaging/jpeg/jpeg_read.h"
#include "imaging/jpeg/jpeg_write.h"
#include "imaging/png/png_probe.h"
#include "imaging/png/png_read.h"
#include "imaging/png/png_signature.h"
#include "imaging/png/png_write.h"

namespace mirelay {

namespace {

bool IsBmp(Signature b) { return b[0] == 'B' && b[1] == 'M'; }

bool IsGif(Signature b) { return b[0] == 'G' && b[1] == 'I' && b[2] == 'F'; }

bool IsPng(Signature b) { return std::equal(b.begin(), b.end(), kPngSignature.begin()); }

// Any file that starts with a marker byte is handed to the JPEG decoder, which judges the rest.
bool IsJpeg(Signature b) { return b[0] == 0xFF; }

constexpr std::array kCodecs = {
    Codec{kFormatBmp, IsBmp, ProbeBmp, DecodeBmp, WriteBmpTo},
    Codec{kFormatGif, IsGif, ProbeGif, DecodeGif, WriteGifTo},
    Codec{kFormatPng, IsPng, ProbePng, DecodePng, WritePngTo},
    Codec{kFormatJpeg, IsJpeg, ProbeJpeg, DecodeJpeg, WriteJpegTo},
};

}  // namespace

std::span<const Codec> Codecs() { return kCodecs; }

const Codec* CodecForSignature(Signature signature) {
  const auto found = std::find_if(kCodecs.begin(), kCodecs.end(),
                                  [&](const Codec& codec) { return codec.matches(signature); });
  return found == kCodecs.end() ? nullptr : &*found;
}

const Codec* CodecForFormat(std::int32_t format) {
  const auto found = std::find_if(kCodecs.begin(), kCodecs.end(),
                                  [&](const Codec& codec) { return codec.format == format; });
  return found == kCodecs.end() ? nullptr : &*found;
}

}  // namespace mirelay
