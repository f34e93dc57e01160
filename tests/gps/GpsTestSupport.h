#pragma once
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "app/AppSettings.h"
#include "gps/MapCanvas.h"

namespace gps_test {

// A fresh folder under the system's temporary folder, removed again at the end.
class TempFolder {
  public:
    TempFolder() {
        std::random_device rd;
        path_ = std::filesystem::temp_directory_path() /
                ("zelkora-gps-" + std::to_string(rd()) + std::to_string(rd()));
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    // With a trailing '/', as the settings hold folders.
    std::string folder() const { return path_.string() + "/"; }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// Keeps the global settings as they were before a test.
class SettingsGuard {
  public:
    SettingsGuard() : saved_(appSettings()) {}
    ~SettingsGuard() { appSettings() = saved_; }

  private:
    AppSettings saved_;
};

inline std::vector<uint8_t> readBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
}

inline std::string withChecksum(const std::string& body) {
    uint32_t x = 0;
    for (size_t i = 1; i < body.size(); ++i) x ^= static_cast<uint8_t>(body[i]);
    char buf[8];
    std::snprintf(buf, sizeof buf, "*%02X\r\n", x);
    return body + buf;
}

// A plain image for the map to draw into.
class ImageCanvas : public MapCanvas {
  public:
    ImageCanvas(int32_t w, int32_t h, uint32_t fill = 0xABCDEF)
        : w_(w), h_(h), px_(static_cast<size_t>(w * h), fill) {}
    void fillRect(int32_t l, int32_t t, int32_t r, int32_t b, uint32_t c) override {
        for (int32_t y = t; y < b; ++y) {
            for (int32_t x = l; x < r; ++x) setPixel(x, y, c);
        }
    }
    void setPixel(int32_t x, int32_t y, uint32_t c) override {
        if (x >= 0 && y >= 0 && x < w_ && y < h_) px_[static_cast<size_t>(y * w_ + x)] = c;
    }
    uint32_t pixel(int32_t x, int32_t y) const override {
        if (x >= 0 && y >= 0 && x < w_ && y < h_) return px_[static_cast<size_t>(y * w_ + x)];
        return 0;
    }
    int32_t count(uint32_t c) const {
        int32_t n = 0;
        for (uint32_t p : px_) n += p == c;
        return n;
    }

  private:
    int32_t w_, h_;
    std::vector<uint32_t> px_;
};

}  // namespace gps_test
