// How long a rewrite of a large config.cfg takes, against a plain copy of the same file.
//
// Generates a config of about 1 MB (20,000 lines, a few of them key lines) in a temporary directory, then
// times, median of 15 runs each, the rewrite through WriteSettingsFile and a copy of the file with the
// same stdio calls (read all, write all). The rewrite also flushes the new file to disk and renames it
// into place; the copy does neither. A third figure is the rewritten text produced in memory alone.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bytes/byte_buffer.h"
#include "settings/config_file.h"
#include "settings/config_text.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRuns = 15;
constexpr int kLines = 20000;

std::string GenerateConfig() {
    std::string text;
    text.reserve(1100000);
    for (int i = 0; i < kLines; ++i) {
        switch (i) {
        case 10:
            text += "screenWidth = 1024\r\n";
            break;
        case 5000:
            text += "screenHeight = 768\r\n";
            break;
        case 12000:
            text += "screenBPP = 32\r\n";
            break;
        case 19990:
            text += "bloom = 1\r\n";
            break;
        default:
            text += "option_" + std::to_string(i) + " = \"some value of the game, line " + std::to_string(i) +
                    "\"\r\n";
            break;
        }
    }
    return text;
}

bool WriteWhole(const std::string& path, const std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

bool CopyWhole(const std::string& from, const std::string& to) {
    std::FILE* in = std::fopen(from.c_str(), "rb");
    if (in == nullptr) {
        return false;
    }
    std::string bytes;
    char buffer[64 * 1024];
    std::size_t count;
    while ((count = std::fread(buffer, 1, sizeof(buffer), in)) > 0) {
        bytes.append(buffer, count);
    }
    const bool read = std::ferror(in) == 0;
    std::fclose(in);
    return read && WriteWhole(to, bytes);
}

double Milliseconds(std::chrono::steady_clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main() {
    std::random_device entropy;
    const fs::path dir = fs::temp_directory_path() / ("tavaren-settings-bench-" + std::to_string(entropy()));
    fs::create_directories(dir);
    const std::string config = (dir / "config.cfg").string();
    const std::string copy = (dir / "copy.cfg").string();
    const std::string original = GenerateConfig();

    LauncherSettings settings;
    settings.screenWidth = 1280;
    settings.screenHeight = 1024;
    settings.screenBPP = 32;
    settings.bloom = 0;

    std::vector<double> rewrite, plainCopy, inMemory;
    bool ok = true;
    for (int run = 0; run < kRuns && ok; ++run) {
        ok = WriteWhole(config, original);

        auto start = std::chrono::steady_clock::now();
        ok = ok && WriteSettingsFile(config.c_str(), settings, kAllSettings);
        rewrite.push_back(Milliseconds(std::chrono::steady_clock::now() - start));

        start = std::chrono::steady_clock::now();
        ok = ok && CopyWhole(config, copy);
        plainCopy.push_back(Milliseconds(std::chrono::steady_clock::now() - start));

        start = std::chrono::steady_clock::now();
        ByteBuffer text;
        ok = ok && RewriteConfigText(original, settings, kAllSettings, kPlatformLineEnd, text);
        inMemory.push_back(Milliseconds(std::chrono::steady_clock::now() - start));
        ok = ok && text.size() > 0;
    }
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    if (!ok) {
        std::fprintf(stderr, "settings rewrite bench: file access failed in %s\n", dir.string().c_str());
        return 1;
    }

    const double rewriteMs = Median(rewrite);
    const double copyMs = Median(plainCopy);
    const double mb = static_cast<double>(original.size()) / (1024.0 * 1024.0);
    std::printf("settings rewrite %.0fMB: %.2f ms (plain copy %.2f ms, ratio %.2f)\n", mb, rewriteMs, copyMs,
                rewriteMs / copyMs);
    std::printf("settings rewrite %.0fMB in memory only: %.2f ms (%d lines)\n", mb, Median(inMemory), kLines);
    return 0;
}
