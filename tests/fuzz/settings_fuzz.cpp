// Coverage-guided fuzzing of the config.cfg reader and rewriter. The first 16 bytes of an input are the
// four settings in memory (little-endian), the low four bits of the next byte the settings to write (the
// known ones), the rest is the file. What the reader and the rewriter give is compared with the
// reference of config_reference.h, written from the file's rules alone.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "bytes/byte_buffer.h"
#include "settings/config_text.h"
#include "config_reference.h"

namespace {

using namespace config_reference;

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "settings fuzz: %s\n", what);
        std::abort();
    }
}

std::string ProductRewrite(const std::string& in, const LauncherSettings& memory, SettingSet known,
                           const std::string& lineEnd) {
    ByteBuffer out;
    Require(RewriteConfigText(in, memory, known, lineEnd, out), "a rewrite of a small file has the memory");
    return std::string(out.view());
}

bool Same(const LauncherSettings& a, const LauncherSettings& b) {
    return a.screenWidth == b.screenWidth && a.screenHeight == b.screenHeight && a.screenBPP == b.screenBPP &&
           a.bloom == b.bloom;
}

void CheckRead(const std::string& file, const LauncherSettings& start) {
    LauncherSettings expected = start;
    const SettingSet expectedFound = Read(file, expected);
    LauncherSettings read = start;
    Require(ApplyConfigText(file, read) == expectedFound, "the keys read are those with a usable value");
    Require(Same(read, expected), "each key gets the value of its last usable line");
}

void CheckRewrite(const std::string& in, const LauncherSettings& memory, SettingSet known,
                  const std::string& lineEnd) {
    const std::string out = ProductRewrite(in, memory, known, lineEnd);
    Require(out == Rewrite(in, memory, known, lineEnd),
            "the rewrite keeps every other line, replaces the known keys' lines and appends the missing");
    CheckRead(out, memory);
    Require(ProductRewrite(out, memory, known, lineEnd) == out, "a second rewrite changes nothing");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::uint8_t header[17] = {};
    const std::size_t headerSize = size < sizeof(header) ? size : sizeof(header);
    for (std::size_t i = 0; i < headerSize; ++i) {
        header[i] = data[i];
    }
    LauncherSettings memory;
    for (int k = 0; k < 4; ++k) {
        const std::uint32_t bits = static_cast<std::uint32_t>(header[4 * k]) |
                                   static_cast<std::uint32_t>(header[4 * k + 1]) << 8 |
                                   static_cast<std::uint32_t>(header[4 * k + 2]) << 16 |
                                   static_cast<std::uint32_t>(header[4 * k + 3]) << 24;
        Field(memory, k) = static_cast<std::int32_t>(bits);
    }
    const SettingSet known = header[16] & kAllSettings;
    const std::string file(reinterpret_cast<const char*>(data) + headerSize, size - headerSize);

    CheckRead(file, memory);
    CheckRewrite(file, memory, known, "\n");
    CheckRewrite(file, memory, known, "\r\n");
    return 0;
}
