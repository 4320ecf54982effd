// Load time and peak memory of a long animated GIF: the working-image load against giflib's
// whole-file reader. Every load runs in a fresh process, so each peak is that load's own.
//
//   gif_long_load [FILE]          writes FILE (default in /tmp) and prints the table
//   gif_long_load LOADER FILE     one load in this process; prints its seconds
#include <gif_lib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "files/file_error.h"
#include "imaging/bitmap.h"
#include "imaging/gif/gif_image.h"
#include "imaging/gif/gif_read.h"
#include "imaging/image_lib.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kFrames = 530;
constexpr int kRuns = 3;
constexpr int kSquare = 16;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "gif_long_load: %s\n", what);
  std::exit(1);
}

void Check(int result, const char* what) {
  if (result == GIF_ERROR) Fail(what);
}

// A screen-sized frame per step: a flat background whose colour cycles, with a small
// square walking across it, as a long screen recording of a quiet scene would be.
void WriteFrame(GifFileType* gif, int frame) {
  const GifByteType control[4] = {0x04, 4, 0, 0};  // disposal 1, 4/100 s
  Check(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control), "graphic control");
  Check(EGifPutImageDesc(gif, 0, 0, kWidth, kHeight, false, nullptr), "image descriptor");
  const auto background = static_cast<GifPixelType>(frame % 200);
  const int squareX = (frame * 3) % (kWidth - kSquare);
  const int squareY = (frame * 2) % (kHeight - kSquare);
  std::vector<GifPixelType> row(kWidth);
  for (int y = 0; y < kHeight; ++y) {
    std::fill(row.begin(), row.end(), background);
    if (y >= squareY && y < squareY + kSquare) {
      std::fill(row.begin() + squareX, row.begin() + squareX + kSquare, GifPixelType{255});
    }
    Check(EGifPutLine(gif, row.data(), kWidth), "pixels");
  }
}

void WriteLongGif(const std::string& path) {
  int error = 0;
  GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
  if (gif == nullptr) Fail("cannot create the file");
  std::vector<GifColorType> colors(256);
  for (int i = 0; i < 256; ++i) {
    colors[i] = {static_cast<GifByteType>(i), static_cast<GifByteType>(255 - i),
                 static_cast<GifByteType>(i * 7)};
  }
  ColorMapObject* map = GifMakeMapObject(256, colors.data());
  EGifSetGifVersion(gif, true);
  Check(EGifPutScreenDesc(gif, kWidth, kHeight, 8, 0, map), "screen descriptor");
  GifFreeMapObject(map);
  const GifByteType loop[3] = {1, 0, 0};
  Check(EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE), "loop");
  Check(EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0"), "loop");
  Check(EGifPutExtensionBlock(gif, 3, loop), "loop");
  Check(EGifPutExtensionTrailer(gif), "loop");
  for (int frame = 0; frame < kFrames; ++frame) WriteFrame(gif, frame);
  Check(EGifCloseFile(gif, &error), "trailer");
}

// What the program does for a batch pair, a command or a still preview.
void LoadAsWorkingImage(const char* path) {
  mirelay::Bitmap bitmap;
  if (mirelay::LoadImageToBitmap(path, bitmap) != mirelay::kFormatGif) Fail("mirelay: not loaded");
  mirelay::ConvertTo24Bit(bitmap);
}

// What the preview does: every frame kept while they fit under the pixel cap.
void LoadForPreview(const char* path) {
  if (mirelay::DecodeGifImage(mirelay::ReadWholeFile(path)).frames.empty()) {
    Fail("preview: no frame");
  }
}

void LoadWithDGifSlurp(const char* path) {
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path, &error);
  if (gif == nullptr) Fail("giflib: cannot open");
  if (DGifSlurp(gif) != GIF_OK) Fail("giflib: DGifSlurp failed");
  DGifCloseFile(gif, &error);
}

int LoadOnce(const std::string& loader, const char* path) {
  const auto start = std::chrono::steady_clock::now();
  if (loader == "mirelay") {
    LoadAsWorkingImage(path);
  } else if (loader == "preview") {
    LoadForPreview(path);
  } else if (loader == "giflib") {
    LoadWithDGifSlurp(path);
  } else {
    Fail("unknown loader");
  }
  const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
  std::printf("%.6f\n", seconds.count());
  return 0;
}

struct Figures {
  double seconds = 0;
  double peakMiB = 0;
};

// Runs one load in a child process: its own clock for the time, the kernel's account of
// its largest resident set for the memory.
Figures LoadInChild(const std::string& loader, const std::string& path) {
  int pipeEnds[2];
  if (::pipe(pipeEnds) != 0) Fail("pipe");
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(pipeEnds[1], STDOUT_FILENO);
    ::close(pipeEnds[0]);
    ::execl("/proc/self/exe", "gif_long_load", loader.c_str(), path.c_str(), nullptr);
    std::_Exit(127);
  }
  ::close(pipeEnds[1]);
  char text[64] = {};
  const auto length = ::read(pipeEnds[0], text, sizeof text - 1);
  ::close(pipeEnds[0]);
  int status = 0;
  rusage usage{};
  ::wait4(child, &status, 0, &usage);
  if (length <= 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) Fail("a load failed");
  return {std::atof(text), usage.ru_maxrss / 1024.0};
}

Figures Best(const std::string& loader, const std::string& path) {
  Figures best{1e9, 0};
  for (int run = 0; run < kRuns; ++run) {
    const auto figures = LoadInChild(loader, path);
    best.seconds = std::min(best.seconds, figures.seconds);
    best.peakMiB = std::max(best.peakMiB, figures.peakMiB);
  }
  return best;
}

int Compare(const std::string& path) {
  WriteLongGif(path);
  std::printf("%s: %d frames of %d x %d, %.2f MB\n", path.c_str(), kFrames, kWidth, kHeight,
              std::filesystem::file_size(path) / 1e6);
  std::printf("best of %d runs; peak = largest peak resident set of the runs\n\n", kRuns);
  const auto giflib = Best("giflib", path);
  const auto mirelay = Best("mirelay", path);
  const auto preview = Best("preview", path);
  std::printf("| load | seconds | ratio | peak RSS MiB |\n| --- | ---: | ---: | ---: |\n");
  std::printf("| giflib DGifSlurp | %.3f | 1.00x | %.0f |\n", giflib.seconds, giflib.peakMiB);
  std::printf("| working image (LoadImageToBitmap + ConvertTo24Bit) | %.3f | %.2fx | %.0f |\n",
              mirelay.seconds, mirelay.seconds / giflib.seconds, mirelay.peakMiB);
  std::printf("| preview graphic (DecodeGifImage) | %.3f | %.2fx | %.0f |\n", preview.seconds,
              preview.seconds / giflib.seconds, preview.peakMiB);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3) return LoadOnce(argv[1], argv[2]);
  const std::string path =
      argc == 2 ? argv[1] : "/tmp/mirelay-long-" + std::to_string(::getpid()) + ".gif";
  const int status = Compare(path);
  if (argc == 1) std::filesystem::remove(path);
  return status;
}
