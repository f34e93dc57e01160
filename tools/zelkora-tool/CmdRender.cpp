#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <vector>

#include "app/AppSettings.h"
#include "display/CallMeasurements.h"
#include "display/GraphicsSurface.h"
#include "display/PlotView.h"
#include "display/TimeScale.h"
#include "platform/OutputFile.h"
#include "platform/qt/OffscreenGuiApp.h"
#include "platform/qt/QtGraphics.h"
#include "platform/qt/QtProfileStore.h"
#include "platform/qt/QtViewFont.h"
#include "sequence/DotStore.h"
#include "tools/zelkora-tool/Command.h"
#include "tools/zelkora-tool/OrderedWork.h"
#include "tools/zelkora-tool/ProgressLine.h"
#include "tools/zelkora-tool/SequenceFileInput.h"
#include "tools/zelkora-tool/SequenceWalk.h"
#include "tools/zelkora-tool/ToolArgs.h"
#include "tools/zelkora-tool/ToolFiles.h"

namespace {

constexpr const char* kUsage =
    "zelkora-tool render (FILE --png OUT | FILE|DIR... --png-dir DIR) [--size WxH]\n"
    "       [--mode true|comp|all] [-j N]\n"
    "       [--scale F1..F10|D1..D4] [--first INDEX] [--filter 0..5] [--lin|--log]\n"
    "       [--fmin KHZ] [--fmax KHZ] [--bigdots 0|1] [--calls]";

bool parseSize(const std::string& text, int32_t& w, int32_t& h) {
    int a = 0, b = 0;
    char x = 0, extra = 0;
    if (std::sscanf(text.c_str(), "%d%c%d%c", &a, &x, &b, &extra) != 3 || (x != 'x' && x != 'X')) {
        return false;
    }
    if (a < 64 || b < 64 || a > 8192 || b > 8192) return false;
    w = a;
    h = b;
    return true;
}

// "F1".."F10" give 129..138, "D1".."D4" give 1..4; 0 for anything else.
int32_t parseScale(const std::string& text) {
    if (text.size() < 2) return 0;
    char* end = nullptr;
    const long n = std::strtol(text.c_str() + 1, &end, 10);
    if (end == nullptr || *end != '\0') return 0;
    if ((text[0] == 'F' || text[0] == 'f') && n >= 1 && n <= 10)
        return static_cast<int32_t>(128 + n);
    if ((text[0] == 'D' || text[0] == 'd') && n >= 1 && n <= 4) return static_cast<int32_t>(n);
    return 0;
}

// Under the dots of every call, a green bar along the plot's foot from its first column to
// its last; under an echo a red one just above it. A pixel column holds the dots from its
// first dot up to the next column's first.
void drawCallMarks(QPainter& painter, const PlotView& view, const DotStore& dots,
                   const AppSettings& s) {
    const auto calls =
        CallMeasurements::Find(dots.times, dots.frequency, dots.count, view.filterLevel(), s.Fmin,
                               s.Fmax, true, CallMeasurements::Detail::kExtent);
    const auto firstDot = view.columnFirstDot();
    const PlotView::Rect plot = view.plotRect();
    const int32_t columns =
        std::min<int32_t>(view.lastColumn() + 1, static_cast<int32_t>(firstDot.size()));
    for (const CallMeasurements::Call& call : calls) {
        int32_t from = -1, to = -1;
        for (int32_t c = 0; c + 1 < columns; ++c) {
            const int32_t a = firstDot[static_cast<size_t>(c)];
            const int32_t b = firstDot[static_cast<size_t>(c) + 1];
            if (a >= b || call.first >= b || call.last < a) continue;
            if (from < 0) from = c;
            to = c;
        }
        if (from < 0) continue;
        painter.fillRect(plot.left + from, plot.bottom - (call.echo ? 12 : 6), to - from + 1, 5,
                         call.echo ? QColor(220, 30, 30) : QColor(20, 160, 40));
    }
}

// What every picture of a run shares.
struct Picture {
    AppSettings settings;
    int32_t width = 800, height = 480;
    int32_t first = 0;
    bool calls = false;
};

// Draws the sequence file read from `path` into `png`; false with the reason in `message`
// (a line). `fallback` gets the note of a surface that had to fall back, which a run shows
// once.
bool drawPng(const std::string& path, Picture picture, const tool::LoadedSequence& loaded,
             QByteArray& png, std::string& message, std::string& fallback) {
    AppSettings& s = picture.settings;
    // The name as the folder holds it, as the window's list shows it.
    const std::string name = std::filesystem::path(path).filename().string();
    DotStore* dots = loaded.dots.get();
    const QFont font = platform::qt::viewFont(platform::qt::screenDotsPerInch());
    platform::qt::ImageScreenHost host(picture.width, picture.height);
    platform::qt::QtGraphicsPlatform graphics(host, font);
    GraphicsSurface surface(graphics);
    if (int code = surface.Init(s.GraphicsSystem); code != GraphicsSurface::kOk) {
        fallback = GraphicsSurface::MessageForCode(code) + "\n";
        if (surface.FallBackToDeviceContext() != GraphicsSurface::kOk) return false;
    }
    PlotView view(s, surface, graphics);
    view.SetBarHeight(0);
    view.SetSequence(dots);
    view.SetNameText(name);
    view.OnInitialUpdate();
    if (!view.layoutOk()) {
        message = "zelkora-tool render: " + std::to_string(picture.width) + "x" +
                  std::to_string(picture.height) + " leaves no room for the plot\n";
        return false;
    }
    if (picture.first > 0) {
        view.SetFirstIndex(picture.first);
        view.FullRedraw();
    }
    // A picture is read later, often beside the file's name: the clock field shows when the
    // file began, not when it was drawn, and a file without a start time leaves it empty.
    // The same file then always gives the same picture.
    const SequenceStartTime& start = loaded.header.start;
    if (loaded.header.hasStartTime && start.year != 0) {
        view.ClockTick(start.hour, start.minute, start.second);
    }
    {
        QPainter painter(&host.image());
        platform::qt::QtWindowDc window(painter, font);
        view.PaintWithoutHint(window);
        if (picture.calls) drawCallMarks(painter, view, *dots, s);
    }
    // The picture is made whole in memory and then put in place in one step, so that a full
    // disk or a failed write leaves no truncated PNG that looks like a result.
    png.clear();
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !host.image().save(&buffer, "PNG")) {
        message = "zelkora-tool render: cannot make the PNG picture\n";
        return false;
    }
    return true;
}

int run(const std::vector<std::string>& args) {
    tool::ToolArgs parsed({"--png", "--size", "--mode", "--scale", "--first", "--filter", "--fmin",
                           "--fmax", "--bigdots", "--png-dir", "--jobs"},
                          {"--lin", "--log", "--calls"});
    if (!parsed.parse(args)) return tool::usageError("render", parsed.error(), kUsage);
    if (parsed.helpRequested()) {
        std::printf(
            "usage: %s\n\n"
            "Draws FILE as the viewer's window of that size shows it (status line, axes and\n"
            "dots; the start-up hint aside; the clock shows the file's start) and writes the\n"
            "picture to OUT as PNG. Options not given come from the settings. --size defaults\n"
            "to 800x480; --fmin/--fmax are in kHz; --first is the index of the dot at the\n"
            "screen's left edge. --calls marks each call as `calls` finds it with a green bar\n"
            "along the plot's foot, and each echo with a red bar above that.\n"
            "--png-dir DIR draws every file given (a folder: its sequence files in browsing\n"
            "order) to DIR/NAME.png, NAME being the file's name; -j N, --jobs N draws N at\n"
            "once (default: the number of cores).\n",
            kUsage);
        return tool::kExitOk;
    }
    if (parsed.positional().empty()) return tool::usageError("render", "no file given", kUsage);
    const auto out = parsed.value("--png");
    const auto pngDir = parsed.value("--png-dir");
    if (!out == !pngDir) {
        return tool::usageError("render", "give either --png OUT or --png-dir DIR", kUsage);
    }
    std::error_code notFolder;
    if (out && (parsed.positional().size() != 1 ||
                std::filesystem::is_directory(parsed.positional().front(), notFolder))) {
        return tool::usageError("render", "several files or a folder need --png-dir DIR", kUsage);
    }
    const std::optional<int> jobs = tool::jobsOption(parsed);
    if (!jobs) return tool::usageError("render", parsed.error(), kUsage);
    if (parsed.has("--lin") && parsed.has("--log")) {
        return tool::usageError("render", "--lin and --log exclude each other", kUsage);
    }

    // Settings first, then the options over them; nothing is saved.
    platform::QtProfileStore store;
    AppSettings& s = appSettings();
    s.load(store);
    s.FullScreen = 0;

    int32_t width = 800, height = 480;
    if (auto v = parsed.value("--size"); v && !parseSize(*v, width, height)) {
        return tool::usageError("render", "--size must be WxH (64..8192 each)", kUsage);
    }
    if (auto v = parsed.value("--mode")) {
        s.AllUse = 0;
        if (*v == "all") {
            s.SeeAllFile = 1;
        } else if (*v == "comp" || *v == "true") {
            s.SeeAllFile = 0;
            s.ViewCompressed = *v == "comp" ? 1 : 0;
        } else {
            return tool::usageError("render", "--mode must be true, comp or all", kUsage);
        }
    }
    const bool allFile = s.AllUse != 0 || s.SeeAllFile != 0;
    if (auto v = parsed.value("--scale")) {
        const int32_t code = parseScale(*v);
        if (code == 0)
            return tool::usageError("render", "--scale must be F1..F10 or D1..D4", kUsage);
        if (allFile) {
            if (!TimeScale::IsDotsPerColumn(code)) {
                return tool::usageError("render", "the all-file mode takes D1..D4 only", kUsage);
            }
            s.HScaleAll = code;
        } else if (s.ViewCompressed != 0) {
            s.HScaleComp = code;
        } else {
            s.HScaleTrue = code;
        }
    }
    const auto filter = parsed.integer("--filter", allFile ? s.AllZ : s.Z, 0, 5);
    const auto first = parsed.integer("--first", 0, 0, DotStore::kCapacity - 1);
    const auto fmin = parsed.integer("--fmin", s.Fmin / 1000000, 1, 2000);
    const auto fmax = parsed.integer("--fmax", s.Fmax / 1000000, 1, 2000);
    const auto big = parsed.integer("--bigdots", s.BigDots != 0 ? 1 : 0, 0, 1);
    if (!filter || !first || !fmin || !fmax || !big) {
        return tool::usageError("render", parsed.error(), kUsage);
    }
    (allFile ? s.AllZ : s.Z) = static_cast<int32_t>(*filter);
    if (parsed.value("--fmin")) s.Fmin = static_cast<int32_t>(*fmin * 1000000);
    if (parsed.value("--fmax")) s.Fmax = static_cast<int32_t>(*fmax * 1000000);
    if (s.Fmin >= s.Fmax) return tool::usageError("render", "--fmin must lie below --fmax", kUsage);
    if (parsed.value("--bigdots")) s.BigDots = *big != 0 ? 16 : 0;
    if (parsed.has("--lin")) s.Floglin = 0;
    if (parsed.has("--log")) s.Floglin = 1;

    bool failed = false;
    const std::vector<std::string> paths = tool::sequencePaths(parsed.positional(), failed);
    std::vector<std::string> outputs;
    if (out) {
        outputs.push_back(*out);
    } else {
        std::set<std::string> names;
        for (const std::string& path : paths) {
            const std::string name = std::filesystem::path(path).filename().string() + ".png";
            if (!names.insert(name).second) {
                return tool::usageError("render", "two inputs would both be drawn to " + name,
                                        kUsage);
            }
            outputs.push_back((std::filesystem::path(*pngDir) / name).string());
        }
    }
    // Only an input named like a picture can be one of the pictures.
    std::vector<std::string> pictureLike;
    for (const std::string& path : paths) {
        if (out || path.ends_with(".png")) pictureLike.push_back(path);
    }
    if (int status = tool::refuseOutputOverInputs("render", outputs, pictureLike); status != 0) {
        return status;
    }
    if (pngDir) {
        // Made once nothing is refused. A folder that cannot be made is said once, with its
        // reason: each picture failing on its own said only "No such file or directory".
        std::error_code ec;
        std::filesystem::create_directories(*pngDir, ec);
        if (ec) {
            std::fprintf(stderr, "zelkora-tool render: cannot make the folder %s: %s\n",
                         pngDir->c_str(), ec.message().c_str());
            return tool::kExitFailure;
        }
    }

    // A single file is read before the graphics start, which have messages of their own, so
    // that one that cannot be read is refused first; it is not read again.
    std::optional<tool::LoadedSequence> single;
    if (out) {
        single.emplace();
        if (int status = tool::loadSequenceFile(paths.front(), *single); status != tool::kExitOk) {
            return status;
        }
    }
    const platform::qt::OffscreenGuiApp app;

    Picture picture{s, width, height, static_cast<int32_t>(*first), parsed.has("--calls")};
    struct FileWork {
        tool::LoadedSequence loaded;
        QByteArray png;
        std::string message;
        std::string fallback;
        int status = tool::kExitOk;
    };
    std::vector<FileWork> perSlot(tool::OrderedWork::slotCount(*jobs));
    auto work = [&](size_t index, size_t slot) {
        FileWork& w = perSlot[slot];
        w.message.clear();
        w.fallback.clear();
        // A file that cannot be read is a bad file; a picture that cannot be made, a failure.
        w.status =
            single ? tool::kExitOk : tool::loadSequenceFile(paths[index], w.loaded, &w.message);
        if (w.status == tool::kExitOk &&
            !drawPng(paths[index], picture, single ? *single : w.loaded, w.png, w.message,
                     w.fallback)) {
            w.status = tool::kExitFailure;
        }
    };
    int status = failed ? tool::kExitBadFile : tool::kExitOk;
    tool::ProgressLine progress("render", static_cast<int64_t>(paths.size()));
    bool fallbackShown = false;
    tool::OrderedWork::run(paths.size(), *jobs, work, [&](size_t index, size_t slot) {
        FileWork& w = perSlot[slot];
        if (!w.fallback.empty() && !fallbackShown) {
            progress.clear();
            std::fputs(w.fallback.c_str(), stderr);
            fallbackShown = true;
        }
        if (!w.message.empty()) {
            progress.clear();
            std::fputs(w.message.c_str(), stderr);
        }
        int result = w.status;
        if (result == tool::kExitOk && !tool::writeOutput(outputs[out ? 0 : index], w.png)) {
            result = tool::kExitFailure;
        }
        if (result != tool::kExitOk && status != tool::kExitFailure) status = result;
        progress.step();
    });
    return status;
}

const tool::CommandRegistration registration{
    {"render", "draw a sequence file as the viewer shows it, to a PNG", &run}};

}  // namespace
