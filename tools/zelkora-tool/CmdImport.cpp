// zelkora-tool import: full-spectrum WAV/FLAC recordings turned into the sequence files a
// frequency-division detector in Monitor mode would have written while they were recorded.
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "acquisition/BandBackground.h"
#include "acquisition/BandGate.h"
#include "acquisition/NoiseFloor.h"
#include "acquisition/ZeroCrossingExtractor.h"
#include "app/AppSettings.h"
#include "platform/InputFile.h"
#include "platform/LocalClock.h"
#include "platform/qt/QtProfileStore.h"
#include "sequence/SequenceFile.h"
#include "sequence/SequenceFormat.h"
#include "sequence/SequenceSaver.h"
#include "tools/zelkora-tool/Command.h"
#include "tools/zelkora-tool/CrossingFeed.h"
#include "tools/zelkora-tool/OrderedWork.h"
#include "tools/zelkora-tool/ProgressLine.h"
#include "tools/zelkora-tool/SequenceWalk.h"
#include "tools/zelkora-tool/ToolArgs.h"
#include "tools/zelkora-tool/WavMetadata.h"

namespace {

using acquisition::ZeroCrossingExtractor;

constexpr const char* kName = "import";
constexpr const char* kUsage =
    "zelkora-tool import WAV|DIR... [--ratio N] [--threshold DB] [--high-pass KHZ]\n"
    "       [--no-denoise] [--time-expansion F] [--dir DIR] [-j N]";
constexpr const char* kHelp =
    "Turns full-spectrum recordings (WAV, FLAC and the other formats libsndfile reads; the\n"
    "first channel; a folder stands for the .wav and .flac files in it, in name order) into\n"
    "type 0x84 sequence files, as a frequency-division detector in Monitor mode would have\n"
    "recorded them: what does not stand out of the recording's background at its own\n"
    "frequency is taken away, the audio is high-pass filtered, zero crossings are counted\n"
    "while its level is above the threshold, every Nth is kept, and the intervals go\n"
    "through the recorder's call detector (the autoLineLength, autoSlack and autoMaxTBC\n"
    "settings), which splits them into files; a file also ends at 15 seconds or 32 KB.\n"
    "Passages without calls give no file; the run says how many recordings held none.\n"
    "Each file written is printed.\n"
    "The start time comes from the recording's guan Timestamp, else from a recorder comment\n"
    "\"Recorded at hh:mm:ss DD/MM/YYYY (UTC...)\", else from YYYYMMDD_HHMMSS (or -HHMMSS) in\n"
    "the file's name, else (with a warning) from the file's modification time less its\n"
    "length. The recorder's clock is kept as written, as the files recorded at the site hold\n"
    "it: a UTC offset is not applied (map takes the zone from TZ).\n"
    "Damaged audio (fewer frames than the header promises, a read error, a sample that is\n"
    "not a number) is imported up to the damage and reported with its time; exit status 1.\n"
    "A sequence that a file in the folder already holds byte for byte is not written again;\n"
    "the run says how many there were.\n"
    "The position comes from the guan Loc Position (and Loc Elevation, else 0 m).\n"
    "\n"
    "  --ratio N            division ratio, 1-64 (default 16)\n"
    "  --threshold DB       level in dB of full scale that counts as signal (default: 14 dB\n"
    "                       above the gated audio's background there, measured over half a\n"
    "                       second around each moment, and not below -60 dB); below\n"
    "                       -60 dB a sound raises it to 15 dB under its peak, falling\n"
    "                       0.5 dB per ms, so that a loud call's reverberation is not\n"
    "                       taken into its row\n"
    "  --high-pass KHZ      cut-off of the high-pass filter and of the spectral gate,\n"
    "                       1-150 kHz (default 12); zero crossings follow the loudest sound,\n"
    "                       so a band below the calls that comes and goes (insects,\n"
    "                       machines) is taken away only by a cut-off above it; for\n"
    "                       faint calls above such a band add a fixed --threshold too\n"
    "  --no-denoise         count the crossings of the audio as it is; by default only what\n"
    "                       stands 8 dB above the background of its own few kilohertz\n"
    "                       around that moment is kept, so that a weak call is counted\n"
    "                       instead of the hiss around it\n"
    "  --time-expansion F   the recording runs F times slower than real time (default: the\n"
    "                       guan TE value, else 1); intervals are in real time\n"
    "  --dir DIR            where the files go (default: the GPath setting); made when missing\n"
    "  -j N, --jobs N       recordings analysed at once (default: the number of cores); the\n"
    "                       files and what is printed are the same whatever N\n";

constexpr sf_count_t kFrames = 65536;
// The longest recording whose spectrally gated audio is kept between passes: 128 MB a job.
constexpr size_t kKeptCleanedFrames = size_t{1} << 25;

// The gate that follows a recording's background stands this far above it: the hiss's own
// peaks within the envelope's millisecond reach 9-10 dB above its mean level, so the hiss of
// the noisiest shared recording (a handheld at -40 dB) stays shut out, while a quiet logger's
// weak calls 12-20 dB above its -54 dB background get through. After the spectral gate the
// background is what little of the hiss the gate lets through.
constexpr double kAboveBackgroundDb = 14;
// Nor does it go below this, where a recording is digitally silent between calls.
constexpr double kLowestThresholdDb = -60;
// Below this real sample rate most bats' calls cannot be in a recording (half of it, 48 kHz,
// is where the calls of most species lie).
constexpr double kLowestBatRate = 96000;

// The progress line while one is shown; messages clear it first, so that each starts on a
// line of its own.
tool::ProgressLine* progressShown = nullptr;
// Where a worker's messages go until the recording's turn comes to be reported; standard
// error when not set.
thread_local std::string* messagesHeld = nullptr;

[[gnu::format(printf, 1, 2)]] void warn(const char* format, ...) {
    va_list args;
    va_start(args, format);
    if (messagesHeld != nullptr) {
        char text[1024];
        std::vsnprintf(text, sizeof text, format, args);
        messagesHeld->append(text);
    } else {
        if (progressShown != nullptr) progressShown->clear();
        std::vfprintf(stderr, format, args);
    }
    va_end(args);
}

bool parseReal(const std::string& text, double& out) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, out);
    return !text.empty() && ec == std::errc() && ptr == end && std::isfinite(out);
}

// A modification time is an instant, not a recorder's clock reading: it takes the zone's
// offset at that instant (a summer recording gets the summer offset when imported in winter).
std::optional<JulianTime> modificationTime(const std::string& path) {
    std::error_code ec;
    const auto written = std::filesystem::last_write_time(path, ec);
    if (ec) return std::nullopt;
    const auto system = std::chrono::file_clock::to_sys(written);
    const int64_t utcSeconds =
        std::chrono::duration_cast<std::chrono::seconds>(system.time_since_epoch()).count();
    return JulianTime(utcSeconds * JulianTime::kSecond) +
           platform::localUtcOffsetSecondsAt(utcSeconds) * JulianTime::kSecond;
}

struct Options {
    int32_t ratio = 16;
    std::optional<double> thresholdDb;  // none: follow the recording's background
    bool denoise = true;                // the spectral gate before the crossings are counted
    double highPassHz = ZeroCrossingExtractor::Settings{}.highPassHz;
    std::optional<double> timeExpansion;
    std::string folder;
    int32_t slack = 1, lineLength = 5, maxTbc = 5000000;
};

struct Source {
    JulianTime start;
    PositionBlock position;
    double timeExpansion = 1;
    int64_t promisedFrames = 0;  // what the header says the recording holds
};

// "YYYY-MM-DD hh:mm:ss[.ffffff]" of a recorder's clock.
std::string clockText(JulianTime t) {
    int32_t y = 0, mo = 0, d = 0;
    if (!t.isValid() || !t.dateFields(y, mo, d)) return "?";
    return t.format(t.value() % JulianTime::kSecond == 0 ? "YYYY-MM-DD hh:mm:ss"
                                                         : "YYYY-MM-DD hh:mm:ssdddddd");
}

// The start, position and time expansion of one recording, from its metadata.
Source describe(const std::string& path, const SF_INFO& info, const Options& options) {
    Source source;
    platform::InputStream in;
    in.open(path);
    const tool::WavMetadata meta = tool::readWavMetadata(in);

    double te = 1;
    if (options.timeExpansion) {
        te = *options.timeExpansion;
    } else if (const std::string value = tool::guanValue(meta.guan, "TE"); !value.empty()) {
        if (!parseReal(value, te) || te < 1 || te > 100) {
            warn("zelkora-tool import: %s: guan TE '%s' ignored\n", path.c_str(), value.c_str());
            te = 1;
        }
    }
    source.timeExpansion = te;
    source.promisedFrames = std::max<int64_t>(meta.promisedFrames, info.frames);

    std::optional<tool::RecordedTime> recorded;
    if (const std::string stamp = tool::guanValue(meta.guan, "Timestamp"); !stamp.empty()) {
        recorded = tool::parseIsoTime(stamp);
        if (!recorded) {
            warn("zelkora-tool import: %s: guan Timestamp '%s' not understood\n", path.c_str(),
                 stamp.c_str());
        }
    }
    if (!recorded && !meta.comment.empty()) recorded = tool::parseRecorderComment(meta.comment);
    const std::string fileName = std::filesystem::path(path).filename().string();
    if (recorded) {
        // The offset says where the recorder was set, not what to change: files recorded at
        // the site hold the recorder's clock, and the imported ones must line up with them
        // whichever zone the importing machine is in.
        source.start = recorded->wall;
    } else if (const auto named = tool::parseFileNameTime(fileName)) {
        source.start = *named;
        warn(
            "zelkora-tool import: %s: no recording time in the file; %s from its name is taken as "
            "the recorder's clock\n",
            path.c_str(), clockText(*named).c_str());
    } else {
        // A file's time is when it was last written, which is when its recording ended.
        const auto written = modificationTime(path);
        const double seconds = static_cast<double>(info.frames) / info.samplerate;
        source.start = written ? *written - std::llround(seconds * 1e6) : JulianTime::now();
        warn(
            "zelkora-tool import: %s: no recording time in the file; its "
            "modification time is used\n",
            path.c_str());
    }

    double lat = 0, lon = 0;
    if (const std::string where = tool::guanValue(meta.guan, "Loc Position"); !where.empty()) {
        if (tool::parseLatLon(where, lat, lon)) {
            double metres = 0;
            const std::string elevation = tool::guanValue(meta.guan, "Loc Elevation");
            if (!elevation.empty() && !parseReal(elevation, metres)) metres = 0;
            const auto alt = static_cast<int32_t>(std::clamp(std::trunc(metres + 0.5),
                                                             double{PositionBlock::kMinAltitude},
                                                             double{PositionBlock::kMaxAltitude}));
            source.position = PositionBlock::build(PositionBlock::kModeLatLon, lat, lon, alt);
        } else {
            warn("zelkora-tool import: %s: guan Loc Position '%s' ignored\n", path.c_str(),
                 where.c_str());
        }
    }
    return source;
}

// Damaged audio, named with the file, where it lies in the file and the recorder's clock
// there, so that the user can find it in the recording and in the night.
void warnDamage(const std::string& path, const Source& source, int64_t frame, double rate,
                const std::string& what) {
    const double seconds = static_cast<double>(frame) / rate;
    const JulianTime at = source.start + std::llround(seconds / source.timeExpansion * 1e6);
    warn("zelkora-tool import: %s: damaged audio at %.6f s (%s): %s\n", path.c_str(), seconds,
         clockText(at).c_str(), what.c_str());
}

// One recording's import: worked out by any thread, its files written and its messages shown
// in the recordings' order, so that the names the files get and all that is printed are the
// same however many recordings are worked on at once.
struct Imported {
    struct Sequence {
        std::vector<uint8_t> image;
        JulianTime start;
    };
    std::vector<Sequence> sequences;
    std::string messages;
    int status = tool::kExitOk;
};

// Analyses one recording into `out`; the exit status for it.
// `reached` is told how far the work has got, from 0 to 1.
int analyse(const std::string& path, const Options& options, Imported& out,
            const std::function<void(double)>& reached) {
    SF_INFO info{};
    // Opened as every input is: a FIFO or a device would leave the library waiting.
    platform::InputFile input;
    using Audio = std::unique_ptr<SNDFILE, int (*)(SNDFILE*)>;
    std::string refusal;  // the library's reason when it refuses the file
    auto openAudio = [&] {
        info = SF_INFO{};
        const int handed = input.open(path) ? input.duplicate() : -1;
        if (handed < 0) return Audio(nullptr, &sf_close);
        // The library keeps the reason for a refusal in one place for the whole process, so
        // that recordings refused at once on other jobs' threads would swap their reasons.
        static std::mutex refusals;
        const std::lock_guard lock(refusals);
        Audio audio(sf_open_fd(handed, SFM_READ, &info, SF_TRUE), &sf_close);
        if (!audio) refusal = sf_strerror(nullptr);
        return audio;
    };
    Audio file = openAudio();
    if (!file || info.channels < 1 || info.samplerate < 1) {
        // Why, as far as it is known: a card's files are often empty or cut at the header.
        std::string why = input.descriptor() < 0 ? "not a readable file"
                          : file                 ? "no audio channel or sample rate"
                                                 : refusal;
        if (input.descriptor() >= 0 && input.seek(0, SEEK_END) == 0) why = "the file is empty";
        warn("Cannot open file %s: %s\n", path.c_str(), why.c_str());
        return tool::kExitBadFile;
    }
    const Source source = describe(path, info, options);

    ZeroCrossingExtractor::Settings settings;
    settings.sampleRate = info.samplerate;
    settings.timeExpansion = source.timeExpansion;
    settings.ratio = options.ratio;
    settings.thresholdDb = options.thresholdDb.value_or(kLowestThresholdDb);
    settings.highPassHz = options.highPassHz;
    // Only a --threshold below the adaptive gate's floor meets a loud call's reverberation.
    settings.maskCeilingDb = kLowestThresholdDb;
    if (!ZeroCrossingExtractor::valid(settings)) {
        warn(
            "zelkora-tool import: %s: %d samples per second%s cannot carry a %.0f Hz "
            "high-pass; is --time-expansion missing, or --high-pass too high?\n",
            path.c_str(), info.samplerate, source.timeExpansion != 1 ? " after time expansion" : "",
            settings.highPassHz);
        return tool::kExitFailure;
    }
    ZeroCrossingExtractor extractor(settings);

    std::vector<float> frames(static_cast<size_t>(kFrames) * static_cast<size_t>(info.channels));
    std::vector<float> mono(static_cast<size_t>(kFrames));
    // The first channel from where the file stands, a block at a time, until `take` says
    // stop; the frames read. The library's error, if reading ended on one, stays in
    // `readError`.
    std::string readError;
    // The file is read once for each of these (the gated audio of a short recording is kept
    // from the second to the third).
    const int passes = (options.denoise ? 1 : 0) + (options.thresholdDb ? 0 : 1) + 1;
    int passesStarted = 0;
    const double frameCount = static_cast<double>(std::max<sf_count_t>(info.frames, 1));
    auto readFirstChannel = [&](auto take) {
        const int pass = passesStarted++;
        int64_t read = 0;
        for (sf_count_t n; (n = sf_readf_float(file.get(), frames.data(), kFrames)) > 0;) {
            for (sf_count_t i = 0; i < n; ++i) {
                mono[static_cast<size_t>(i)] = frames[static_cast<size_t>(i * info.channels)];
            }
            read += n;
            reached((pass + static_cast<double>(read) / frameCount) / passes);
            if (!take(std::span<const float>(mono.data(), static_cast<size_t>(n)))) break;
        }
        readError = sf_error(file.get()) != SF_ERR_NO_ERROR ? sf_strerror(file.get()) : "";
        return read;
    };

    // From the start again; opened afresh, since a decoder that met damage may not seek.
    auto rewind = [&] {
        const SF_INFO first = info;
        file.reset();
        file = openAudio();
        return file && info.channels == first.channels && info.samplerate == first.samplerate;
    };
    const double realRate = settings.sampleRate * settings.timeExpansion;
    std::optional<acquisition::BandBackground> bands;
    if (options.denoise) {
        bands.emplace(realRate);
        readFirstChannel([&](std::span<const float> block) {
            bands->add(block);
            return true;
        });
        bands->finish();
        if (!rewind()) {
            warn("Cannot open file %s\n", path.c_str());
            return tool::kExitBadFile;
        }
    }
    // The first channel, through the spectral gate when there is one; the frames read. The
    // gate's output for a recording of up to kKeptCleanedFrames is kept from the first pass
    // through it to the second, which then costs nothing (most recordings are triggered
    // files of a few seconds).
    std::vector<float> cleaned;
    std::vector<float> keptCleaned;
    std::optional<int64_t> keptRead;  // set once keptCleaned holds a whole pass
    auto readCleaned = [&](auto take) {
        if (!bands) return readFirstChannel(take);
        if (keptRead) {
            for (size_t at = 0; at < keptCleaned.size(); at += kFrames) {
                const size_t n = std::min<size_t>(kFrames, keptCleaned.size() - at);
                if (!take(std::span<const float>(keptCleaned).subspan(at, n))) break;
            }
            return *keptRead;
        }
        acquisition::BandGate gate(*bands, settings.highPassHz);
        bool more = true;
        bool keep = !options.thresholdDb;
        auto give = [&](std::span<const float> block) {
            if (keep && keptCleaned.size() + block.size() <= kKeptCleanedFrames) {
                keptCleaned.insert(keptCleaned.end(), block.begin(), block.end());
            } else if (keep) {
                keep = false;
                std::vector<float>().swap(keptCleaned);
            }
            return more = take(block);
        };
        const int64_t read = readFirstChannel([&](std::span<const float> block) {
            cleaned.clear();
            gate.feed(block, cleaned);
            return give(cleaned);
        });
        if (more) {
            cleaned.clear();
            gate.finish(cleaned);
            give(cleaned);
        }
        if (keep && more) keptRead = read;
        return read;
    };

    if (!options.thresholdDb) {
        acquisition::NoiseFloor background(realRate, settings.highPassHz);
        readCleaned([&](std::span<const float> block) {
            background.add(block);
            return true;
        });
        // Kept in memory, the gated audio is not read from the file again.
        if (!keptRead && !rewind()) {
            warn("Cannot open file %s\n", path.c_str());
            return tool::kExitBadFile;
        }
        std::vector<double> levels = background.levelsDb();
        for (double& level : levels)
            level = std::max(level + kAboveBackgroundDb, kLowestThresholdDb);
        extractor.setThresholdSteps(std::move(levels), background.samplesPerStep());
    }

    auto sequence = std::make_unique<SequenceFile>();
    sequence->start(options.ratio, "", options.slack, options.lineLength, options.maxTbc, false,
                    true);
    sequence->reset();
    sequence->setFolder(options.folder);
    sequence->setPosition(source.position);
    tool::CrossingFeed feed(*sequence, source.start);
    // Kept as encoded images; they are written when the recording's turn comes.
    sequence->setWriter(
        [&](const DotStore& store, JulianTime start, const PositionBlock& position, std::string&) {
            try {
                out.sequences.push_back(
                    {encodeSequenceImage(store, SequenceHeaderText{},
                                         SequenceStartTime::fromJulian(start), position),
                     start});
            } catch (const std::bad_alloc&) {
                return SequenceSaver::kNoMemory;
            }
            return SequenceSaver::kOk;
        });
    sequence->setSaveListener([&](const std::string&) { feed.saved(); });

    std::vector<double> kept;
    bool ok = true;
    const int64_t read = readCleaned([&](std::span<const float> block) {
        kept.clear();
        extractor.feed(block, kept);
        for (const double t : kept) {
            if (!(ok = feed.add(t))) break;
        }
        return ok;
    });
    // The recording ends as a detector falling silent: a sequence with calls is written. A
    // damaged recording ends the same way at the damage, so that what came before is kept.
    if (ok) ok = sequence->saveKept() >= 0;
    if (!ok) {
        warn("zelkora-tool import: %s: a sequence file could not be written\n", path.c_str());
        return tool::kExitFailure;
    }
    // A recording sampled too slowly for bats is most often a time-expanded one whose
    // expansion the file does not say: its calls come out at a tenth of their frequency, or
    // below the cut-off and not at all.
    if (info.samplerate * source.timeExpansion < kLowestBatRate) {
        warn(
            "zelkora-tool import: %s: %d samples per second hold nothing above %.0f kHz; if "
            "it is time-expanded, give --time-expansion\n",
            path.c_str(), info.samplerate, info.samplerate / 2000.0);
    }
    bool damaged = false;
    if (extractor.nonFinite() > 0) {
        damaged = true;
        warnDamage(path, source, extractor.firstNonFinite(), info.samplerate,
                   std::to_string(extractor.nonFinite()) +
                       " sample(s) not a number, taken as silence from there on");
    }
    if (!readError.empty()) {
        damaged = true;
        warnDamage(path, source, read, info.samplerate,
                   "read error (" + readError + "); imported up to there");
    } else if (read < source.promisedFrames) {
        damaged = true;
        warnDamage(path, source, read, info.samplerate,
                   "the audio ends after " + std::to_string(read) + " of the " +
                       std::to_string(source.promisedFrames) +
                       " frames its header promises; imported up to there");
    }
    return damaged ? tool::kExitFailure : tool::kExitOk;
}

// Writes what `analyse` kept, in order; a file holding this very sequence (an import run
// before) is not written again, and counts in `alreadyThere`. The exit status.
int writeImported(const std::string& path, const Options& options, const Imported& imported,
                  int64_t& alreadyThere) {
    for (const Imported::Sequence& s : imported.sequences) {
        std::string name;
        bool wasThere = false;
        if (SequenceSaver::writeImage(options.folder, s.image, s.start, &name, &wasThere) < 0) {
            warn("zelkora-tool import: %s: a sequence file could not be written\n", path.c_str());
            return tool::kExitFailure;
        }
        if (wasThere) {
            ++alreadyThere;
        } else {
            std::printf("%s%s\n", options.folder.c_str(), name.c_str());
        }
    }
    std::fflush(stdout);
    return tool::kExitOk;
}

int run(const std::vector<std::string>& argv) {
    tool::ToolArgs args(
        {"--ratio", "--threshold", "--high-pass", "--time-expansion", "--dir", "--jobs"},
        {"--no-denoise"});
    if (!args.parse(argv)) return tool::usageError(kName, args.error(), kUsage);
    if (args.helpRequested()) {
        std::printf("usage: %s\n\n%s", kUsage, kHelp);
        return tool::kExitOk;
    }
    if (args.positional().empty()) {
        return tool::usageError(kName, "no recording given", kUsage);
    }
    AppSettings settings = [] {
        platform::QtProfileStore store;
        appSettings().load(store);
        return appSettings();
    }();
    Options options;
    options.slack = settings.autoSlack;
    options.lineLength = settings.autoLineLength;
    options.maxTbc = settings.autoMaxTBC;
    const auto ratio = args.integer("--ratio", 16, 1, seqformat::kMaxRatio);
    if (!ratio) return tool::usageError(kName, args.error(), kUsage);
    options.ratio = static_cast<int32_t>(*ratio);
    options.thresholdDb = args.real("--threshold", -120, 0, "a level from -120 to 0 dB");
    const auto highPassKhz = args.real("--high-pass", 1, 150, "a cut-off from 1 to 150 kHz");
    options.timeExpansion = args.real("--time-expansion", 1, 100, "a factor from 1 to 100");
    if (!args.error().empty()) return tool::usageError(kName, args.error(), kUsage);
    if (highPassKhz) options.highPassHz = *highPassKhz * 1000;
    options.denoise = !args.has("--no-denoise");
    const std::optional<int> jobs = tool::jobsOption(args);
    if (!jobs) return tool::usageError(kName, args.error(), kUsage);
    options.folder = args.value("--dir").value_or(settings.GPath);
    std::error_code ec;
    std::filesystem::create_directories(options.folder, ec);
    if (!options.folder.empty() && options.folder.back() != '/') options.folder += '/';
    // A folder that cannot take files is said at once, with its reason: found only at the
    // first write, it costs the analysis of every recording and says no more than that a
    // file could not be written.
    const int folderError =
        ::access(options.folder.empty() ? "." : options.folder.c_str(), W_OK | X_OK) != 0
            ? (ec ? ec.value() : errno)
            : 0;
    if (folderError != 0) {
        warn("zelkora-tool import: cannot write files into %s: %s\n", options.folder.c_str(),
             std::strerror(folderError));
        return tool::kExitFailure;
    }

    bool unreadableFolder = false;
    const std::vector<std::string> paths =
        tool::recordingPaths(args.positional(), unreadableFolder);
    int status = unreadableFolder ? tool::kExitBadFile : tool::kExitOk;
    int64_t alreadyThere = 0;
    int64_t withoutCalls = 0;
    tool::ProgressLine progress(kName, static_cast<int64_t>(paths.size()));
    progressShown = &progress;
    std::vector<Imported> perSlot(tool::OrderedWork::slotCount(*jobs));
    auto work = [&](size_t index, size_t slot) {
        Imported& imported = perSlot[slot];
        imported = Imported{};
        messagesHeld = &imported.messages;
        imported.status = analyse(paths[index], options, imported, [&](double fraction) {
            progress.part(static_cast<int64_t>(index), paths[index], fraction);
        });
        messagesHeld = nullptr;
    };
    tool::OrderedWork::run(paths.size(), *jobs, work, [&](size_t index, size_t slot) {
        Imported& imported = perSlot[slot];
        // The names of the files written go to standard output, often the same terminal.
        progress.clear();
        int r = writeImported(paths[index], options, imported, alreadyThere);
        std::fflush(stdout);
        std::fputs(imported.messages.c_str(), stderr);
        progress.show(static_cast<int64_t>(index), paths[index]);
        if (r == tool::kExitOk) r = imported.status;
        if (imported.sequences.empty() && imported.status == tool::kExitOk) ++withoutCalls;
        // A bad file does not stop the others; the worst outcome is the exit status.
        if (r != tool::kExitOk && status != tool::kExitFailure) status = r;
        imported = Imported{};
    });
    if (withoutCalls > 0) {
        warn("zelkora-tool import: %lld of %zu recording(s) held no calls and gave no file\n",
             static_cast<long long>(withoutCalls), paths.size());
    }
    if (alreadyThere > 0) {
        warn("zelkora-tool import: %lld sequence(s) already in %s, not written again\n",
             static_cast<long long>(alreadyThere), options.folder.c_str());
    }
    progressShown = nullptr;
    return status;
}

const tool::CommandRegistration registration{
    {kName, "turn full-spectrum WAV or FLAC recordings into sequence files", &run}};

}  // namespace
