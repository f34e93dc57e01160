#include "tools/zelkora-tool/StationWeb.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>

#include "app/StationSchedule.h"
#include "platform/InputFile.h"
#include "platform/LocalClock.h"
#include "sequence/SequenceFolder.h"
#include "tools/zelkora-tool/JsonText.h"

namespace tool::web {

namespace fs = std::filesystem;

namespace {

std::optional<int64_t> number(std::string_view s, int64_t min, int64_t max) {
    int64_t v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || v < min || v > max) return std::nullopt;
    return v;
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string fixed(double v, int decimals) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

std::string optionalTime(const std::optional<int64_t>& t) {
    return t ? jsonString(station::utcText(*t)) : std::string("null");
}

std::vector<std::string> split(std::string_view s, char at) {
    std::vector<std::string> parts;
    size_t begin = 0;
    while (true) {
        const size_t end = s.find(at, begin);
        parts.emplace_back(s.substr(begin, end == std::string_view::npos ? s.npos : end - begin));
        if (end == std::string_view::npos) return parts;
        begin = end + 1;
    }
}

// A query string or a form body: keys and values decoded, '+' a space; broken pairs left out.
std::map<std::string, std::string> formFields(std::string_view text) {
    std::map<std::string, std::string> fields;
    if (text.empty()) return fields;
    for (std::string pair : split(text, '&')) {
        std::replace(pair.begin(), pair.end(), '+', ' ');
        const size_t eq = pair.find('=');
        const auto key = percentDecode(std::string_view(pair).substr(0, eq));
        const auto value = percentDecode(
            eq == std::string::npos ? std::string_view() : std::string_view(pair).substr(eq + 1));
        if (key && value) fields[*key] = *value;
    }
    return fields;
}

Response json(int status, std::string body) {
    Response r;
    r.status = status;
    r.body = std::move(body);
    return r;
}

Response error(int status, const std::string& why) {
    return json(status, "{\"error\":" + jsonString(why) + "}");
}

// The page and the form load nothing from elsewhere and are not shown inside another site's
// frames (where a click could be stolen).
Response html(const std::string& body) {
    Response r;
    r.type = "text/html; charset=utf-8";
    r.body = body;
    r.headers.emplace_back("Content-Security-Policy",
                           "default-src 'self'; script-src 'self' 'unsafe-inline'; "
                           "style-src 'self' 'unsafe-inline'; img-src 'self'; "
                           "connect-src 'self'; frame-ancestors 'none'; form-action 'self'");
    r.headers.emplace_back("X-Frame-Options", "DENY");
    return r;
}

Response redirect(const std::string& to) {
    Response r;
    r.status = 303;
    r.type = "text/plain";
    r.headers.emplace_back("Location", to);
    return r;
}

// The file's real path when it is a regular file that lies in `folder`: a link the folder
// lists may point anywhere.
std::optional<std::string> insideFolder(const std::string& folder, const std::string& name) {
    std::error_code ec;
    const fs::path real = fs::canonical(folder + "/" + name, ec);
    if (ec) return std::nullopt;
    const fs::path realFolder = fs::canonical(folder, ec);
    if (ec || real.parent_path() != realFolder || !fs::is_regular_file(real, ec)) {
        return std::nullopt;
    }
    return real.string();
}

// The path to serve for a name the folder lists, with the file's status in `st`: a plain file
// as it is, a link only when the file it names lies in the folder too. Looking at the one name
// keeps a night of tens of thousands of files from costing a walk of every path per request.
std::optional<std::string> servable(const std::string& folder, const std::string& name,
                                    struct stat& st) {
    const std::string path = folder + name;
    if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
    std::optional<std::string> real;
    if (S_ISREG(st.st_mode)) {
        real = path;
    } else if (S_ISLNK(st.st_mode)) {
        real = insideFolder(folder, name);
        if (real && ::stat(real->c_str(), &st) != 0) return std::nullopt;
    }
    // An empty file is a save's claim, which the folder's list leaves out too.
    if (!real || !S_ISREG(st.st_mode) || st.st_size == 0) return std::nullopt;
    return real;
}

struct Listed {
    std::string name;
    int64_t savedAt = 0;  // the file's modification time, UTC seconds
};

// The night's files in the folder's order; the newest `newest` of them only, of those listed
// before `before` when that is given (a page of older files).
std::vector<Listed> listNight(const std::string& base, const std::string& night,
                              size_t newest = SIZE_MAX, const std::string& before = {}) {
    std::vector<Listed> out;
    if (!isNightName(night)) return out;
    const std::string folder = base + night + "/";
    SequenceFolder list;
    if (list.scan(folder, SequenceFolder::Sizes::kLater) < 0) return out;
    const auto& names = list.names();
    for (size_t i = names.size(); i-- > 0 && out.size() < newest;) {
        struct stat st {};
        if (!before.empty() && SequenceFolder::compareNames(names[i], before) >= 0) continue;
        if (servable(folder, names[i], st)) {
            out.push_back({names[i], static_cast<int64_t>(st.st_mtime)});
        }
    }
    std::reverse(out.begin(), out.end());
    return out;
}

}  // namespace

std::optional<ListenAddress> parseListenAddress(const std::string& text) {
    ListenAddress a;
    std::string portText = text;
    a.host = "127.0.0.1";
    if (!text.empty() && text[0] == '[') {
        const size_t close = text.find("]:");
        if (close == std::string::npos) return std::nullopt;
        a.host = text.substr(1, close - 1);
        portText = text.substr(close + 2);
    } else if (const size_t colon = text.rfind(':'); colon != std::string::npos) {
        a.host = text.substr(0, colon);
        portText = text.substr(colon + 1);
        if (a.host.find(':') != std::string::npos) return std::nullopt;  // IPv6 wants brackets
    }
    const auto port = number(portText, 1, 65535);
    if (!port || a.host.empty()) return std::nullopt;
    a.port = static_cast<int32_t>(*port);
    a.loopback = a.host == "localhost" || a.host == "::1" || a.host.rfind("127.", 0) == 0;
    return a;
}

std::optional<std::string> percentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size()) return std::nullopt;
            int v = 0;
            const auto [end, ec] = std::from_chars(text.data() + i + 1, text.data() + i + 3, v, 16);
            if (ec != std::errc() || end != text.data() + i + 3) return std::nullopt;
            c = static_cast<char>(v);
            i += 2;
        }
        if (c == '\0') return std::nullopt;
        out += c;
    }
    return out;
}

bool sameToken(std::string_view given, std::string_view expected) {
    // Every byte of the expected token is looked at whatever was given, and the lengths are
    // folded in last, so neither the first wrong byte nor a short guess shows in the time.
    unsigned diff = given.size() == expected.size() ? 0u : 1u;
    for (size_t i = 0; i < expected.size(); ++i) {
        const unsigned char g = i < given.size() ? static_cast<unsigned char>(given[i]) : 0;
        diff |= g ^ static_cast<unsigned char>(expected[i]);
    }
    return diff == 0 && !expected.empty();
}

std::vector<LiveDot> thinDots(const std::vector<LiveDot>& dots, size_t limit) {
    if (dots.size() <= limit) return dots;
    std::vector<LiveDot> out;
    if (limit == 0) return out;
    out.reserve(limit);
    for (size_t k = 1; k <= limit; ++k) out.push_back(dots[k * dots.size() / limit - 1]);
    return out;
}

// --- Board ---

void Board::flushLocked() {
    if (pendingSnapshot_) {
        snapshot_ = std::move(*pendingSnapshot_);
        pendingSnapshot_.reset();
    }
    for (std::string& line : pendingLog_) {
        log_.push_back(std::move(line));
        if (log_.size() > kLogLines) log_.pop_front();
    }
    pendingLog_.clear();
    if (!pendingDots_.empty()) {
        for (const LiveDot& d : pendingDots_) dots_.push_back(d);
        dotTotal_ += pendingDots_.size();
        while (dots_.size() > kKeptDots) dots_.pop_front();
        pendingDots_.clear();
    }
}

void Board::publish(const Snapshot& snapshot) {
    pendingSnapshot_ = snapshot;
    std::unique_lock lock(mutex_, std::try_to_lock);
    if (lock.owns_lock()) flushLocked();
}

void Board::addLogLine(const std::string& line) {
    pendingLog_.push_back(line);
    if (pendingLog_.size() > kLogLines) pendingLog_.erase(pendingLog_.begin());
    std::unique_lock lock(mutex_, std::try_to_lock);
    if (lock.owns_lock()) flushLocked();
}

void Board::offerDots(const std::vector<LiveDot>& dots) {
    if (dots.empty() && pendingDots_.empty()) return;
    pendingDots_.insert(pendingDots_.end(), dots.begin(), dots.end());
    // Held back this long only while the server holds the lock; older dots are not worth
    // drawing late.
    if (pendingDots_.size() > kKeptDots) {
        pendingDots_.erase(pendingDots_.begin(),
                           pendingDots_.end() - static_cast<std::ptrdiff_t>(kKeptDots));
    }
    {
        std::unique_lock lock(mutex_, std::try_to_lock);
        if (!lock.owns_lock()) return;
        flushLocked();
    }
    dotsArrived_.notify_all();
}

Control Board::takeControl() {
    return static_cast<Control>(control_.exchange(0));
}

Snapshot Board::snapshot() const {
    std::lock_guard lock(mutex_);
    return snapshot_;
}

std::vector<std::string> Board::logLines() const {
    std::lock_guard lock(mutex_);
    return {log_.begin(), log_.end()};
}

void Board::requestControl(Control control) {
    control_.store(static_cast<int>(control));
}

uint64_t Board::dotCount() const {
    std::lock_guard lock(mutex_);
    return dotTotal_;
}

std::vector<LiveDot> Board::dotsAfter(uint64_t& cursor, int32_t waitMs) {
    std::unique_lock lock(mutex_);
    dotsArrived_.wait_for(lock, std::chrono::milliseconds(waitMs),
                          [&] { return dotTotal_ > cursor; });
    const uint64_t oldest = dotTotal_ - dots_.size();
    if (cursor < oldest) cursor = oldest;
    std::vector<LiveDot> out(dots_.end() - static_cast<std::ptrdiff_t>(dotTotal_ - cursor),
                             dots_.end());
    cursor = dotTotal_;
    return out;
}

void Board::wakeReaders() {
    dotsArrived_.notify_all();
}

// --- FailureLimit ---

bool FailureLimit::blocked(const std::string& address, int64_t nowMs) {
    const auto it = entries_.find(address);
    return it != entries_.end() && nowMs < it->second.blockedUntil;
}

void FailureLimit::fail(const std::string& address, int64_t nowMs) {
    // Addresses with nothing recent are forgotten before a new one is added.
    if (entries_.size() >= 4096) {
        std::erase_if(entries_, [&](const auto& e) {
            return e.second.blockedUntil <= nowMs &&
                   (e.second.failures.empty() || e.second.failures.back() <= nowMs - kWindowMs);
        });
    }
    Entry& e = entries_[address];
    while (!e.failures.empty() && e.failures.front() <= nowMs - kWindowMs) e.failures.pop_front();
    e.failures.push_back(nowMs);
    if (static_cast<int>(e.failures.size()) >= kFailures) {
        e.blockedUntil = nowMs + kWindowMs;
        e.failures.clear();
    }
}

// --- files ---

bool isNightName(const std::string& night) {
    if (night.size() != 10 || night[4] != '-' || night[7] != '-') return false;
    for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        if (night[i] < '0' || night[i] > '9') return false;
    }
    return station::parseDate(night).has_value();
}

std::optional<std::string> nightFile(const std::string& base, const std::string& night,
                                     const std::string& name) {
    if (!isNightName(night) || name.empty() || name == "." || name == ".." ||
        name.find('/') != std::string::npos || name.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    if (!SequenceFolder::isSequenceFileName(name)) return std::nullopt;
    struct stat st {};
    return servable(base + night + "/", name, st);
}

// --- Request ---

std::string Request::header(const std::string& name) const {
    const std::string wanted = lower(name);
    for (const auto& [key, value] : headers) {
        if (lower(key) == wanted) return value;
    }
    return {};
}

// --- Router ---

Router::Router(Board& board, FileWork& work, std::string base, std::string token, std::string page,
               std::string loginPage)
    : board_(board),
      work_(work),
      base_(std::move(base)),
      token_(std::move(token)),
      page_(std::move(page)),
      loginPage_(std::move(loginPage)) {}

std::string Router::newSession() {
    std::random_device random;
    std::string id;
    char hex[9];
    for (int i = 0; i < 8; ++i) {
        std::snprintf(hex, sizeof hex, "%08x", random());
        id += hex;
    }
    sessions_.push_back(id);
    if (sessions_.size() > kMaxSessions) sessions_.pop_front();
    return id;
}

Router::Access Router::access(const Request& request, int64_t nowMs) {
    if (token_.empty()) return Access::Allowed;
    std::lock_guard lock(mutex_);
    if (failures_.blocked(request.remote, nowMs)) return Access::TooMany;
    const std::string authorization = request.header("Authorization");
    if (lower(authorization.substr(0, 7)) == "bearer ") {
        if (sameToken(authorization.substr(7), token_)) return Access::Allowed;
        failures_.fail(request.remote, nowMs);
        return failures_.blocked(request.remote, nowMs) ? Access::TooMany : Access::Unauthorized;
    }
    for (std::string cookie : split(request.header("Cookie"), ';')) {
        cookie.erase(0, cookie.find_first_not_of(' '));
        const std::string prefix = std::string(kCookie) + "=";
        if (cookie.rfind(prefix, 0) != 0) continue;
        const std::string id = cookie.substr(prefix.size());
        for (const std::string& session : sessions_) {
            if (sameToken(id, session)) return Access::Allowed;
        }
    }
    return Access::Unauthorized;
}

// Another web site open in a browser on the station's network must not drive it: a form or
// script there can send a POST here without reading the answer, and a name of its own made to
// point at this address would pass the browser's same-origin rule. So a POST must come from
// this page (its Origin, when sent, is this host), and an open page answers only requests
// addressed to an IP address or "localhost".
std::optional<std::string> Router::otherSite(const Request& request) const {
    const std::string host = lower(request.header("Host"));
    const std::string origin = lower(request.header("Origin"));
    if (request.method == "POST" && !origin.empty() && origin != "http://" + host) {
        return "a request from another site";
    }
    if (!token_.empty()) return std::nullopt;
    std::string name = host.substr(0, host.rfind(':') == std::string::npos || host.back() == ']'
                                          ? host.size()
                                          : host.rfind(':'));
    const bool address = name.empty() || name == "localhost" ||
                         (name.front() == '[' && name.back() == ']') ||
                         name.find_first_not_of("0123456789.") == std::string::npos;
    if (!address) return "ask by the station's address, not by a name";
    return std::nullopt;
}

Response Router::login(const Request& request, int64_t nowMs) {
    Response page = html(loginPage_);
    if (request.method != "POST") return page;
    if (token_.empty()) return redirect("/");
    std::lock_guard lock(mutex_);
    if (failures_.blocked(request.remote, nowMs)) return error(429, "too many wrong tokens");
    const auto fields = formFields(request.body);
    const auto it = fields.find("token");
    if (it != fields.end() && sameToken(it->second, token_)) {
        Response r = redirect("/");
        r.headers.emplace_back("Set-Cookie", std::string(kCookie) + "=" + newSession() +
                                                 "; Path=/; HttpOnly; SameSite=Strict");
        return r;
    }
    failures_.fail(request.remote, nowMs);
    if (failures_.blocked(request.remote, nowMs)) return error(429, "too many wrong tokens");
    page.status = 401;
    return page;
}

Response Router::handle(const Request& request, int64_t nowMs) {
    if (request.headBytes > kMaxHeadBytes) {
        return error(431, "request line and headers are limited to 8 KiB");
    }
    const std::string length = request.header("Content-Length");
    if (request.body.size() > kMaxBodyBytes ||
        (!length.empty() && !number(length, 0, static_cast<int64_t>(kMaxBodyBytes)))) {
        return error(413, "bodies are limited to 4 KiB");
    }
    if (request.method != "GET" && request.method != "HEAD" && request.method != "POST") {
        Response r = error(405, "GET or POST");
        r.headers.emplace_back("Allow", "GET, POST");
        return r;
    }
    const size_t mark = request.target.find('?');
    const std::string path = request.target.substr(0, mark);
    const auto query =
        formFields(mark == std::string::npos ? std::string_view()
                                             : std::string_view(request.target).substr(mark + 1));
    if (const auto refused = otherSite(request)) return error(403, *refused);
    if (path == "/login") return login(request, nowMs);

    const Access allowed = access(request, nowMs);
    const bool isApi = path.rfind("/api/", 0) == 0;
    if (allowed == Access::TooMany) return error(429, "too many wrong tokens; try in a minute");
    if (allowed == Access::Unauthorized) {
        if (!isApi && path == "/") return redirect("/login");
        Response r = error(401, "the station's token is needed");
        r.headers.emplace_back("WWW-Authenticate", "Bearer");
        return r;
    }
    if (path == "/" || path == "/index.html") {
        if (request.method == "POST") return error(405, "GET only");
        return html(page_);
    }
    if (!isApi) return error(404, "not found");
    // Split before decoding, so that an encoded '/' never makes a path of its own.
    std::vector<std::string> parts = split(path.substr(5), '/');
    Response r = api(request, parts, query, nowMs);
    r.headers.emplace_back("Cache-Control", "no-store");
    return r;
}

Response Router::api(const Request& request, const std::vector<std::string>& parts,
                     const std::map<std::string, std::string>& query, int64_t nowMs) {
    const bool post = request.method == "POST";
    const std::string& first = parts[0];
    if (parts.size() == 1 && (first == "record" || first == "stop" || first == "schedule")) {
        if (!post) {
            Response r = error(405, "the controls are POST only");
            r.headers.emplace_back("Allow", "POST");
            return r;
        }
        board_.requestControl(first == "record" ? Control::Record
                              : first == "stop" ? Control::Stop
                                                : Control::Schedule);
        return json(202, "{\"control\":" + jsonString(first) + "}");
    }
    if (post) return error(405, "GET only");
    const auto nightIt = query.find("night");
    const std::string night = nightIt != query.end() ? nightIt->second : board_.snapshot().night;
    if (nightIt != query.end() && !isNightName(night)) {
        return error(400, "night wants a date YYYY-MM-DD");
    }
    if (parts.size() == 1 && first == "status") return json(200, statusJson(nowMs));
    if (parts.size() == 1 && first == "nights") return json(200, nightsJson());
    if (parts.size() == 1 && first == "activity") return json(200, activityJson(night, nowMs));
    if (parts.size() == 1 && first == "live") {
        Response r;
        r.live = true;
        r.type = "text/event-stream";
        return r;
    }
    if (first == "files" && parts.size() == 1) {
        size_t newest = SIZE_MAX;
        if (const auto it = query.find("limit"); it != query.end()) {
            const auto n = number(it->second, 1, 100000);
            if (!n) return error(400, "limit wants a count");
            newest = static_cast<size_t>(*n);
        }
        const auto before = query.find("before");
        return json(200, filesJson(night, newest, before == query.end() ? "" : before->second));
    }
    if (first == "files" && (parts.size() == 2 || (parts.size() == 3 && parts[2] == "calls"))) {
        return fileRequest(parts, night);
    }
    return error(404, "not found");
}

Response Router::fileRequest(const std::vector<std::string>& parts, const std::string& night) {
    std::string encoded = parts[1];
    const bool picture = parts.size() == 2 && encoded.ends_with(".png");
    if (picture) encoded.resize(encoded.size() - 4);
    const auto name = percentDecode(encoded);
    const auto path = name ? nightFile(base_, night, *name) : std::nullopt;
    if (!path) return error(404, "no such file in the night's folder");
    Response r;
    if (parts.size() == 3) {
        const auto rows = work_.callsJson(*path);
        if (!rows) return error(500, "the file cannot be read");
        r.body = *rows;
        return r;
    }
    const auto file = picture ? work_.picture(*path) : path;
    if (!file) return error(500, "the picture cannot be made");
    std::vector<uint8_t> bytes;
    if (!platform::readRegularFile(*file, SIZE_MAX, bytes)) {
        return error(500, "the file cannot be read");
    }
    r.body.assign(bytes.begin(), bytes.end());
    if (picture) {
        r.type = "image/png";
    } else {
        r.type = "application/octet-stream";
        // The name as a quoted string (any quote or backslash replaced) and, exactly, as
        // RFC 5987 wants it.
        std::string plain, exact;
        for (const char c : *name) {
            const auto u = static_cast<unsigned char>(c);
            plain += c == '"' || c == '\\' || u < 0x20 || u >= 0x7f ? '_' : c;
            if (std::isalnum(u) || c == '.' || c == '-' || c == '_') {
                exact += c;
            } else {
                char hex[4];
                std::snprintf(hex, sizeof hex, "%%%02X", u);
                exact += hex;
            }
        }
        r.headers.emplace_back("Content-Disposition",
                               "attachment; filename=\"" + plain + "\"; filename*=UTF-8''" + exact);
    }
    return r;
}

std::string Router::statusJson(int64_t nowMs) const {
    const Snapshot s = board_.snapshot();
    const int64_t now = nowMs / 1000;
    std::string out =
        "{\"state\":" + jsonString(s.state) + ",\"control\":" + jsonString(s.control) +
        ",\"night\":" + jsonString(s.night) + ",\"files\":" + std::to_string(s.files) +
        ",\"last\":" + (s.last.empty() ? "null" : jsonString(s.last)) +
        ",\"last_at\":" + (s.lastAt > 0 ? optionalTime(s.lastAt) : "null") + ",\"last_ago_s\":" +
        (s.lastAt > 0 ? std::to_string(std::max<int64_t>(0, now - s.lastAt)) : "null") +
        ",\"free_mb\":" + (s.freeMb ? std::to_string(*s.freeMb) : "null") +
        ",\"gps\":" + jsonString(s.gps) + ",\"sunset\":" + optionalTime(s.sunset) +
        ",\"sunrise\":" + optionalTime(s.sunrise) +
        ",\"window_start\":" + optionalTime(s.windowStart) +
        ",\"window_stop\":" + optionalTime(s.windowStop) +
        ",\"module_port\":" + std::to_string(s.modulePort) +
        ",\"uptime_s\":" + std::to_string(std::max<int64_t>(0, now - s.startedAt)) +
        ",\"now\":" + jsonString(station::utcText(now)) +
        ",\"utc_offset_s\":" + std::to_string(platform::localUtcOffsetSecondsAt(now)) +
        ",\"clock_ahead_s\":" +
        (s.clockAheadSeconds ? std::to_string(*s.clockAheadSeconds) : std::string("null")) +
        ",\"log\":[";
    bool firstLine = true;
    for (const std::string& line : board_.logLines()) {
        out += (firstLine ? "" : ",") + jsonString(line);
        firstLine = false;
    }
    return out + "]}";
}

std::string Router::filesJson(const std::string& night, size_t newest, const std::string& before) {
    const std::vector<Listed> listed = listNight(base_, night, newest, before);
    std::string out = "[";
    for (size_t i = 0; i < listed.size(); ++i) {
        const std::string path = base_ + night + "/" + listed[i].name;
        const auto summary = work_.summary(path);
        out += (i == 0 ? "" : ",");
        out += "{\"name\":" + jsonString(listed[i].name) +
               ",\"saved\":" + optionalTime(listed[i].savedAt) + ",\"utc_offset_s\":" +
               std::to_string(platform::localUtcOffsetSecondsAt(listed[i].savedAt));
        if (summary) {
            out += ",\"start\":" + (summary->start.empty() ? "null" : jsonString(summary->start)) +
                   ",\"duration_ms\":" + fixed(summary->durationMs, 3) +
                   ",\"calls\":" + std::to_string(summary->calls) + ",\"fchar_khz\":" +
                   (summary->medianFcharKhz ? fixed(*summary->medianFcharKhz, 3) : "null");
        } else {
            out += ",\"start\":null,\"duration_ms\":null,\"calls\":null,\"fchar_khz\":null";
        }
        out += "}";
    }
    return out + "]";
}

std::string Router::nightsJson() const {
    std::vector<std::pair<std::string, int32_t>> nights;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(base_, ec)) {
        const std::string name = entry.path().filename().string();
        // Counted as the night's list shows them.
        if (!isNightName(name) || !entry.is_directory(ec)) continue;
        nights.emplace_back(name, static_cast<int32_t>(listNight(base_, name).size()));
    }
    std::sort(nights.begin(), nights.end(), [](const auto& a, const auto& b) { return a > b; });
    std::string out = "[";
    for (const auto& [night, files] : nights) {
        out += (out.size() > 1 ? "," : "") + std::string("{\"night\":") + jsonString(night) +
               ",\"files\":" + std::to_string(files) + "}";
    }
    return out + "]";
}

std::string Router::activityJson(const std::string& night, int64_t nowMs) const {
    constexpr int64_t kBin = 600;
    const std::vector<Listed> listed = listNight(base_, night);
    const Snapshot s = board_.snapshot();
    const bool tonight = night == s.night;
    int64_t first = INT64_MAX, last = INT64_MIN;
    for (const Listed& f : listed) {
        first = std::min(first, f.savedAt);
        last = std::max(last, f.savedAt);
    }
    // The window when it is tonight's, else the files' own span; tonight ends at the clock.
    std::optional<int64_t> from, to;
    if (tonight && s.windowStart && s.windowStop) {
        from = *s.windowStart;
        to = std::min(*s.windowStop, std::max(nowMs / 1000, *s.windowStart));
    } else if (!listed.empty()) {
        from = first / kBin * kBin;
        to = last + 1;
    }
    std::string out = "{\"night\":" + jsonString(night) + ",\"bin_s\":600" +
                      ",\"window_start\":" + optionalTime(tonight ? s.windowStart : std::nullopt) +
                      ",\"window_stop\":" + optionalTime(tonight ? s.windowStop : std::nullopt) +
                      ",\"from\":" + optionalTime(from) + ",\"counts\":[";
    if (from && to && *to > *from) {
        // A day's worth of bins at most, whatever the clock did.
        const int64_t bins = std::min<int64_t>((*to - *from + kBin - 1) / kBin, 24 * 6);
        std::vector<int32_t> counts(static_cast<size_t>(bins), 0);
        for (const Listed& f : listed) {
            const int64_t bin = (f.savedAt - *from) / kBin;
            if (f.savedAt >= *from && bin < bins) ++counts[static_cast<size_t>(bin)];
        }
        for (size_t i = 0; i < counts.size(); ++i) {
            out += (i ? "," : "") + std::to_string(counts[i]);
        }
    }
    return out + "]}";
}

}  // namespace tool::web
