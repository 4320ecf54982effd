#pragma once

#include <cstdint>
#include <string>

#include "app/view_target.h"
#include "imaging/codec_options.h"

namespace mirelay {

// How the window decodes, for the preview and its batch alike: GIF pictures are dithered when
// the screen shows 256 colours or fewer. The screen is asked once, on first use.
DecodeOptions WindowDecodeOptions();

// Decodes the file into the preview and returns its format code, or 0 when it fails to decode
// (the view then keeps what it showed). A GIF clears the view before decoding and stays cleared
// on failure. Only a file that exists but cannot be opened throws FileError.
std::int32_t LoadImageToView(const std::string& path, ViewTarget& view,
                             const DecodeOptions& options = {});

}  // namespace mirelay
