// A small ALSA player for the plug-in's tests, written the way SoX drives a PCM: it plays
// silence and recovers every failed write with snd_pcm_prepare; a prepare that fails ends it.
//
//   recovering_player DEVICE [--close-at-exit] [--eintr]
//
// stderr: "write: <error>" for each failed write, "prepare: <error>" before ending with status
// 3, "stopped by signal" before ending with status 0 after SIGINT or SIGTERM (installed with
// signal(), so with SA_RESTART, as SoX does). SIGUSR1 interrupts whatever call it reaches and
// is otherwise ignored. --close-at-exit closes the PCM in an exit handler instead of before
// returning; --eintr opens the PCM with SND_PCM_EINTR (a signal ends a wait with EINTR).
#include <alsa/asoundlib.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr unsigned kRate = 48000;
constexpr unsigned kChannels = 2;
constexpr snd_pcm_uframes_t kPeriodFrames = 192;
// SND_PCM_EINTR of libasound's later headers.
constexpr int kOpenEintr = 0x00000080;

volatile sig_atomic_t g_stop = 0;
snd_pcm_t* g_pcm = nullptr;

void onSignal(int) { g_stop = 1; }
void onInterrupt(int) {}

void closeAtExit() {
  if (g_pcm != nullptr) snd_pcm_close(g_pcm);
  g_pcm = nullptr;
}

int configure(snd_pcm_t* pcm) {
  snd_pcm_hw_params_t* hw;
  snd_pcm_hw_params_alloca(&hw);
  int err = snd_pcm_hw_params_any(pcm, hw);
  if (err < 0) return err;
  snd_pcm_uframes_t period = kPeriodFrames;
  if ((err = snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED)) < 0 ||
      (err = snd_pcm_hw_params_set_format(pcm, hw, SND_PCM_FORMAT_S16_LE)) < 0 ||
      (err = snd_pcm_hw_params_set_channels(pcm, hw, kChannels)) < 0 ||
      (err = snd_pcm_hw_params_set_rate(pcm, hw, kRate, 0)) < 0 ||
      (err = snd_pcm_hw_params_set_period_size_near(pcm, hw, &period, nullptr)) < 0) {
    return err;
  }
  return snd_pcm_hw_params(pcm, hw);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s DEVICE [--close-at-exit] [--eintr]\n", argv[0]);
    return 2;
  }
  bool closeInHandler = false;
  int mode = 0;
  for (int i = 2; i < argc; ++i) {
    if (strcmp(argv[i], "--close-at-exit") == 0) closeInHandler = true;
    if (strcmp(argv[i], "--eintr") == 0) mode |= kOpenEintr;
  }
  signal(SIGINT, onSignal);
  signal(SIGTERM, onSignal);
  signal(SIGUSR1, onInterrupt);

  int err = snd_pcm_open(&g_pcm, argv[1], SND_PCM_STREAM_PLAYBACK, mode);
  if (err < 0) {
    fprintf(stderr, "open: %s\n", snd_strerror(err));
    return 2;
  }
  if (closeInHandler) atexit(closeAtExit);
  if ((err = configure(g_pcm)) < 0) {
    fprintf(stderr, "configure: %s\n", snd_strerror(err));
    return 2;
  }

  std::vector<int16_t> silence(kPeriodFrames * kChannels, 0);
  int status = 0;
  while (!g_stop) {
    const snd_pcm_sframes_t n = snd_pcm_writei(g_pcm, silence.data(), kPeriodFrames);
    if (n >= 0) continue;
    fprintf(stderr, "write: %s\n", snd_strerror(int(n)));
    if (g_stop) break;
    if ((err = snd_pcm_prepare(g_pcm)) < 0) {
      fprintf(stderr, "prepare: %s\n", snd_strerror(err));
      status = 3;
      break;
    }
  }
  if (g_stop) fprintf(stderr, "stopped by signal\n");
  if (!closeInHandler) closeAtExit();
  return status;
}
