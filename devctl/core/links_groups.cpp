#include "devctl/core/links_groups.h"

#include "devctl/core/globals.h"
#include "devctl/hardware/dsp_channels.h"

namespace {

constexpr int kPairs = 7;

bool IsPair(int p) { return p >= 0 && p < kPairs; }
bool IsNumber(int n) { return n >= 1 && n <= kDspChannels; }

void ClearRoute(int out) {
  g_app_config.control[out] = 0;
  DspSetOutputSource(out, 0);
}

// Clears the sources of output pair q that come from input pair p, unless the route is straight.
void FixPairRoute(int q, int p) {
  const int i1 = 2 * p + 1, i2 = 2 * p + 2;
  const int a = g_app_config.control[2 * q], b = g_app_config.control[2 * q + 1];
  if (a == i1 && b == i2) return;
  if (a == i1 || a == i2) ClearRoute(2 * q);
  if (b == i1 || b == i2) ClearRoute(2 * q + 1);
}

}  // namespace

int IsInputPairLinked(int in) {
  return IsNumber(in) && g_app_config.InputLinkRef((in - 1) / 2) != 0 ? 1 : 0;
}

int IsOutputPairLinked(int out) {
  return IsNumber(out) && g_app_config.OutputLinkRef((out - 1) / 2) != 0 ? 1 : 0;
}

int AreInOutPairsLinked(int in, int out) {
  return IsInputPairLinked(in) && IsOutputPairLinked(out) ? 1 : 0;
}

void RemoveOutputFromGroups(int c) {
  if (c < 0 || c >= kDspChannels) return;
  for (int g = 0; g < kGroups; ++g) g_app_config.OutputGroupMembers(g)[c] = 0;
}

void FixRoutesForInputLink(int p, int linked) {
  if (linked != 1 || !IsPair(p)) return;
  for (int q = 0; q < kPairs; ++q) {
    if (g_app_config.OutputLinkRef(q) == 1) FixPairRoute(q, p);
  }
}

void FixRoutesForOutputLink(int q, int linked) {
  if (linked != 1 || !IsPair(q)) return;
  for (int p = 0; p < kPairs; ++p) {
    if (g_app_config.InputLinkRef(p) == 1) FixPairRoute(q, p);
  }
}
