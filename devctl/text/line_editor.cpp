#include "devctl/text/line_editor.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "devctl/text/history.h"

namespace {

constexpr char kBs = 0x08;
constexpr char kCr = 0x0D;
constexpr char kDel = 0x7F;
constexpr size_t kEchoFlush = 16000;  // write staged echo before it grows past this

enum class Key { kNone, kUp, kDown, kRight, kLeft, kDelete, kBackspace };

// A key sequence at the start of a chunk stands for the whole chunk.
Key ClassifyKey(const char* d, int len) {
  if (len >= 1 && d[0] == kDel) return Key::kBackspace;
  if (len >= 3 && d[0] == 0x1B && d[1] == '[') {
    switch (d[2]) {
      case 'A':
        return Key::kUp;
      case 'B':
        return Key::kDown;
      case 'C':
        return Key::kRight;
      case 'D':
        return Key::kLeft;
      case '3':
        return Key::kDelete;
    }
  }
  return Key::kNone;
}

void Repeat(std::string& out, const char* unit, int times) {
  for (int i = 0; i < times; ++i) out += unit;
}

void Flush(tcp_session_s& s, const EditIo& io) {
  if (s.echo.empty()) return;
  if (io.write) io.write(s.echo.data(), s.echo.size());
  s.echo.clear();
}

void ClampCursor(tcp_session_s& s) { s.cursor_offset = std::clamp(s.cursor_offset, 0, s.edit_len); }

// Removes the character at position p and redraws the line so the cursor ends at the same
// screen position as the first blanked one (p_before BS from where it stood).
void EraseAndRedraw(tcp_session_s& s, int cursor_pos, int remove_at) {
  const int old_len = s.edit_len;
  s.echo.append(cursor_pos, kBs);
  s.echo.append(old_len, ' ');
  s.echo.append(old_len, kBs);
  std::memmove(s.edit + remove_at, s.edit + remove_at + 1, old_len - remove_at - 1);
  s.edit_len = old_len - 1;
}

void Recall(tcp_session_s& s, bool older, const EditIo& io) {
  if (s.cursor_offset != 0) {
    char move[24];
    std::snprintf(move, sizeof move, "\x1b[%dC", s.cursor_offset);
    s.echo += move;
    s.cursor_offset = 0;
  }
  char recall[session::kRecallSize];
  const int n = older ? HistoryOlder(recall, sizeof recall) : HistoryNewer(recall, sizeof recall);
  if (n == 0 && older) return;  // nothing to recall; what is staged goes out with the next echo
  Repeat(s.echo, "\b \b", s.edit_len);
  const int kept = std::min(n, session::kEditMax);
  s.echo.append(recall, kept);
  std::memcpy(s.edit, recall, kept);
  s.edit_len = kept;
  Flush(s, io);
}

void DeleteAtCursor(tcp_session_s& s, const EditIo& io) {
  if (s.cursor_offset <= 0) return;
  const int p = s.edit_len - s.cursor_offset;
  std::memmove(s.edit + p, s.edit + p + 1, s.edit_len - p - 1);
  s.edit_len -= 1;
  s.cursor_offset -= 1;
  const int l = s.edit_len;
  s.echo.append(p, kBs);
  s.echo.append(l + 1, ' ');
  s.echo.append(l + 1, kBs);
  s.echo.append(s.edit, l);
  s.echo.append(s.cursor_offset, kBs);
  Flush(s, io);
}

// Deletes the character before the cursor with a full redraw of the line.
void BackspaceWithRedraw(tcp_session_s& s) {
  const int p = s.edit_len - s.cursor_offset;
  EraseAndRedraw(s, p, p - 1);
  s.echo.append(s.edit, s.edit_len);
  s.echo.append(s.cursor_offset, kBs);
  ClampCursor(s);
}

void InsertAtCursor(tcp_session_s& s, char c) {
  if (s.edit_len >= session::kEditMax) return;  // the line is full: further typing is ignored
  const int p = s.edit_len - s.cursor_offset;
  std::memmove(s.edit + p + 1, s.edit + p, s.edit_len - p);
  s.edit[p] = c;
  s.edit_len += 1;
  s.echo += c;
  if (s.cursor_offset > 0) {
    s.echo.append(s.edit + p + 1, s.cursor_offset);
    s.echo.append(s.cursor_offset, kBs);
  }
}

void Type(tcp_session_s& s, const char* data, int len, std::string& collected, const EditIo& io) {
  for (int i = 0; i < len; ++i) {
    const char c = data[i];
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == kBs) {
      if (s.edit_len - s.cursor_offset <= 0) continue;
      if (s.cursor_offset == 0) {
        s.echo += "\b \b";
        s.edit_len -= 1;
      } else {
        BackspaceWithRedraw(s);
      }
    } else if (c == kCr) {
      collected.append(s.edit, s.edit_len);
      collected += kCr;
      s.edit_len = 0;
      s.cursor_offset = 0;
    } else if (u > 0x1F) {
      InsertAtCursor(s, c);
    }
    if (s.echo.size() >= kEchoFlush) Flush(s, io);
  }
  Flush(s, io);
}

// Completed lines go to the accumulation in slices that fit it, so a read holding more lines
// than the accumulation takes is answered whole, line by line. Every completed line is shorter
// than the edit line, so a slice always ends with at least one whole line handed on.
void HandOn(tcp_session_s& s, const std::string& collected, const EditIo& io) {
  size_t offset = 0;
  while (offset < collected.size()) {
    const size_t room = session::kAccumulationSize - s.acc_len;
    uint32_t count = static_cast<uint32_t>(std::min(room, collected.size() - offset));
    const char* slice = collected.data() + offset;
    offset += count;
    uint32_t n = SplitLine(slice, &count, s.acc, &s.acc_len);
    while (n > 0) {
      if (n > 1) HistoryAdd(s.acc, static_cast<int>(n - 1));
      HistoryResetCursor();
      s.cursor_offset = 0;
      if (io.on_line) {
        if (n == 1) {
          char blank[3] = "\r\n";
          io.on_line(s.fd, blank, 2);
        } else {
          io.on_line(s.fd, s.acc, static_cast<int>(n));
        }
      }
      std::memmove(s.acc, s.acc + n, s.acc_len - n);
      s.acc_len -= n;
      s.acc[s.acc_len] = '\0';
      if (s.acc_len == 0) break;
      count = 0;
      n = SplitLine(slice, &count, s.acc, &s.acc_len);
    }
    // A full accumulation without a line end cannot be answered: it is cut.
    if (s.acc_len >= session::kAccumulationSize) {
      s.acc_len = 0;
      s.acc[0] = '\0';
    }
  }
}

}  // namespace

uint32_t SplitLine(const char* data, uint32_t* len, char* acc, uint32_t* acc_len) {
  if (*acc_len + *len > session::kAccumulationSize) {
    *acc_len = 0;
    *len = 0;
    acc[0] = '\0';
    return 0;
  }
  std::memcpy(acc + *acc_len, data, *len);
  *acc_len += *len;
  *len = 0;
  acc[*acc_len] = '\0';

  const char* cr = static_cast<const char*>(std::memchr(acc, kCr, *acc_len));
  if (!cr) return 0;
  uint32_t end = static_cast<uint32_t>(cr - acc);
  if (end == 0) return 1;
  uint32_t first = 0;
  while (first < end && !(acc[first] >= 0x20 && acc[first] <= 0x7E)) ++first;
  if (first > 0) {
    std::memmove(acc, acc + first, *acc_len - first + 1);
    *acc_len -= first;
    end -= first;
  }
  return end + 1;
}

namespace {

// A telnet client reads a lone 0xFF as the start of a command: echo sends it as IAC IAC.
EditIo TelnetEcho(const EditIo& io) {
  EditIo out = io;
  out.write = [&io](const char* data, size_t len) {
    if (!io.write) return;
    if (!std::memchr(data, 0xFF, len)) {
      io.write(data, len);
      return;
    }
    std::string doubled;
    doubled.reserve(len + 16);
    for (size_t i = 0; i < len; ++i) {
      doubled += data[i];
      if (static_cast<unsigned char>(data[i]) == 0xFF) doubled += data[i];
    }
    io.write(doubled.data(), doubled.size());
  };
  return out;
}

}  // namespace

void EditChunk(tcp_session_s& s, bool telnet_mode, char* data, int len, const EditIo& plain_io) {
  if (len < 0) return;
  const EditIo telnet_io = telnet_mode ? TelnetEcho(plain_io) : EditIo{};
  const EditIo& io = telnet_mode ? telnet_io : plain_io;
  if (telnet_mode && s.telnet) {
    len = TelnetFilterInput(reinterpret_cast<uint8_t*>(data), len, s.telnet.get());
  }
  ClampCursor(s);
  std::string collected;
  switch (ClassifyKey(data, len)) {
    case Key::kUp:
      Recall(s, true, io);
      break;
    case Key::kDown:
      Recall(s, false, io);
      break;
    case Key::kRight:
      if (s.cursor_offset > 0) {
        s.cursor_offset -= 1;
        s.echo += "\x1b[C";
        Flush(s, io);
      }
      break;
    case Key::kLeft:
      if (s.cursor_offset < s.edit_len) {
        s.cursor_offset += 1;
        s.echo += kBs;
        Flush(s, io);
      }
      break;
    case Key::kDelete:
      DeleteAtCursor(s, io);
      break;
    case Key::kBackspace:
      if (s.cursor_offset < s.edit_len) {
        BackspaceWithRedraw(s);
        Flush(s, io);
      }
      break;
    case Key::kNone:
      Type(s, data, len, collected, io);
      break;
  }
  ClampCursor(s);
  if (!collected.empty()) HandOn(s, collected, io);
}
