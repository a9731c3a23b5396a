// Writing bytes to a descriptor, and showing OEM text on a terminal the way a
// Windows console shows it: each byte as the character it stands for, which a
// POSIX terminal wants in UTF-8.
#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "posix/internal.h"

namespace platform::posix {
namespace {

// The UTF-8 of one OEM byte: at most 3 bytes, since every CP866 character
// lies below U+10000.
struct Utf8 {
  unsigned char length;
  char bytes[4];
};

constexpr Utf8 utf8Of(char16_t c) {
  Utf8 out{};
  out.length = static_cast<unsigned char>(encodeUtf8(c, out.bytes));
  return out;
}

constexpr std::array<Utf8, 256> buildOemUtf8() {
  std::array<Utf8, 256> table{};
  for (unsigned byte = 0; byte < 256; ++byte) {
    table[byte] = utf8Of(oemToUnicode(static_cast<unsigned char>(byte)));
  }
  return table;
}
constexpr std::array<Utf8, 256> oemUtf8 = buildOemUtf8();

// Waits until a non-blocking descriptor can take more bytes.
bool waitWritable(int fd) {
  pollfd entry{fd, POLLOUT, 0};
  for (;;) {
    if (sys.poll(&entry, 1, -1) >= 0) return true;
    if (errno != EINTR) return false;
  }
}

}  // namespace

bool writeAll(int fd, const void* bytes, std::size_t size, std::size_t* written) {
  const auto* in = static_cast<const char*>(bytes);
  std::size_t done = 0;
  bool ok = true;
  while (done < size) {
    const ssize_t n = sys.write(fd, in + done, size - done);
    if (n >= 0) {
      done += static_cast<std::size_t>(n);
    } else if (errno == EINTR) {
      continue;
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      // The descriptor was left non-blocking by whoever shares it: wait for room.
      if (!waitWritable(fd)) {
        ok = false;
        break;
      }
    } else {
      ok = false;
      break;
    }
  }
  *written = done;
  return ok;
}

bool writeOemToTerminal(int fd, const unsigned char* bytes, std::size_t size,
                        std::size_t* written) {
  // Converted through a fixed buffer, a chunk at a time, so that no write
  // allocates however long the text is.
  char chunk[4096];
  std::size_t used = 0;   // bytes of chunk filled
  std::size_t taken = 0;  // OEM bytes converted so far
  *written = 0;           // OEM bytes whose text has reached the terminal
  for (std::size_t i = 0; i < size; ++i) {
    const Utf8& text = oemUtf8[bytes[i]];
    if (used + sizeof text.bytes > sizeof chunk) {
      std::size_t ignored = 0;
      if (!writeAll(fd, chunk, used, &ignored)) return false;
      *written = taken;
      used = 0;
    }
    for (unsigned k = 0; k < text.length; ++k) chunk[used++] = text.bytes[k];
    taken = i + 1;
  }
  std::size_t ignored = 0;
  if (!writeAll(fd, chunk, used, &ignored)) return false;
  *written = taken;
  return true;
}

}  // namespace platform::posix
