#include <QBuffer>
#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

#include "app/AppSettings.h"
#include "display/CallMeasurements.h"
#include "display/GraphicsSurface.h"
#include "display/PlotView.h"
#include "display/TimeScale.h"
#include "platform/LocalClock.h"
#include "platform/OutputFile.h"
#include "platform/qt/QtGraphics.h"
#include "platform/qt/QtProfileStore.h"
#include "platform/qt/QtViewFont.h"
#include "sequence/DotStore.h"
#include "tools/zelkora-tool/Command.h"
#include "tools/zelkora-tool/SequenceFileInput.h"
#include "tools/zelkora-tool/ToolArgs.h"
#include "tools/zelkora-tool/ToolFiles.h"

namespace {

constexpr const char* kUsage =
    "zelkora-tool render FILE --png OUT [--size WxH] [--mode true|comp|all]\n"
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

int run(const std::vector<std::string>& args) {
    tool::ToolArgs parsed({"--png", "--size", "--mode", "--scale", "--first", "--filter", "--fmin",
                           "--fmax", "--bigdots"},
                          {"--lin", "--log", "--calls"});
    if (!parsed.parse(args)) return tool::usageError("render", parsed.error(), kUsage);
    if (parsed.helpRequested()) {
        std::printf(
            "usage: %s\n\n"
            "Draws FILE as the viewer's window of that size shows it (status line, axes and\n"
            "dots; the start-up hint aside) and writes the picture to OUT as PNG. Options not\n"
            "given come from the settings. --size defaults to 800x480; --fmin/--fmax are\n"
            "in kHz; --first is the index of the dot at the screen's left edge. --calls marks\n"
            "each call as `calls` finds it with a green bar along the plot's foot, and each\n"
            "echo with a red bar above that.\n",
            kUsage);
        return tool::kExitOk;
    }
    if (parsed.positional().size() != 1) return tool::usageError("render", "one FILE", kUsage);
    const auto out = parsed.value("--png");
    if (!out) return tool::usageError("render", "--png OUT is required", kUsage);
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

    const std::string path = parsed.positional().front();
    if (int status = tool::refuseOutputOverInputs("render", {*out}, {path}); status != 0) {
        return status;
    }
    // The name as the folder holds it, as the window's list shows it.
    const std::string name = std::filesystem::path(path).filename().string();
    tool::LoadedSequence loaded;
    if (int status = tool::loadSequenceFile(path, loaded); status != tool::kExitOk) return status;
    DotStore* dots = loaded.dots.get();

    // The picture is made on the offscreen platform, which needs no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char arg0[] = "zelkora-tool";
    char* argv[] = {arg0, nullptr};
    QGuiApplication app(argc, argv);

    const QFont font = platform::qt::viewFont(platform::qt::screenDotsPerInch());
    platform::qt::ImageScreenHost host(width, height);
    platform::qt::QtGraphicsPlatform graphics(host, font);
    GraphicsSurface surface(graphics);
    if (int code = surface.Init(s.GraphicsSystem); code != GraphicsSurface::kOk) {
        std::fprintf(stderr, "%s\n", GraphicsSurface::MessageForCode(code).c_str());
        if (surface.FallBackToDeviceContext() != GraphicsSurface::kOk) return tool::kExitFailure;
    }
    PlotView view(s, surface, graphics);
    view.SetBarHeight(0);
    view.SetSequence(dots);
    view.SetNameText(name);
    view.OnInitialUpdate();
    if (!view.layoutOk()) {
        std::fprintf(stderr, "zelkora-tool render: %dx%d leaves no room for the plot\n", width,
                     height);
        return tool::kExitFailure;
    }
    if (*first > 0) {
        view.SetFirstIndex(static_cast<int32_t>(*first));
        view.FullRedraw();
    }
    const platform::LocalClockReading now = platform::readLocalClock();
    view.ClockTick(now.hour, now.minute, now.second);

    {
        QPainter painter(&host.image());
        platform::qt::QtWindowDc window(painter, font);
        view.PaintWithoutHint(window);
        if (parsed.has("--calls")) drawCallMarks(painter, view, *dots, s);
    }
    // The picture is made whole in memory and then put in place in one step, so that a full
    // disk or a failed write leaves no truncated PNG that looks like a result.
    QByteArray png;
    {
        QBuffer buffer(&png);
        if (!buffer.open(QIODevice::WriteOnly) || !host.image().save(&buffer, "PNG")) {
            std::fprintf(stderr, "zelkora-tool render: cannot make the PNG picture\n");
            return tool::kExitFailure;
        }
    }
    return tool::writeOutput(*out, png) ? tool::kExitOk : tool::kExitFailure;
}

const tool::CommandRegistration registration{
    {"render", "draw a sequence file as the viewer shows it, to a PNG", &run}};

}  // namespace
