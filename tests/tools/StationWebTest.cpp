// The station's web rules without a network: who gets in, what may be read, what the
// controls do, and what the recorder's side of the board costs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "support/TempDir.h"
#include "support/ZoneGuard.h"
#include "tools/zelkora-tool/StationWeb.h"

using namespace tool::web;
namespace fs = std::filesystem;

namespace {

constexpr const char* kToken = "correct horse battery";

class FakeWork : public FileWork {
  public:
    std::optional<FileSummary> summary(const std::string& path) override {
        asked.push_back(path);
        return FileSummary{"2024-06-21T22:10:00.000000", 1500.0, 7, 42.5};
    }
    std::optional<std::string> callsJson(const std::string&) override { return "[]"; }
    std::optional<std::string> picture(const std::string& path) override { return path; }
    std::vector<std::string> asked;
};

class StationWeb : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(base + "2024-06-21");
        for (const char* name : {"[L212210.01#", "[L212214.03#", "[L212230.00#"}) {
            std::ofstream(base + "2024-06-21/" + name) << "dots";
        }
        std::ofstream(root / "secret.01#") << "not for the web";
        std::ofstream(base + "station.log") << "log";
        fs::create_symlink(root / "secret.01#", base + "2024-06-21/[OUT.01#");
        Snapshot s;
        s.night = "2024-06-21";
        board.publish(s);
    }

    Response get(Router& router, const std::string& target,
                 std::vector<std::pair<std::string, std::string>> headers = {},
                 const std::string& method = "GET", const std::string& body = "",
                 const std::string& remote = "192.168.4.2") {
        Request r;
        r.method = method;
        r.target = target;
        r.remote = remote;
        r.headers = std::move(headers);
        r.body = body;
        r.headBytes = target.size() + 16;
        return router.handle(r, now);
    }
    static std::string headerOf(const Response& r, const std::string& name) {
        for (const auto& [k, v] : r.headers) {
            if (k == name) return v;
        }
        return {};
    }

    TempDir dir;
    fs::path root{dir.path()};
    std::string base = (root / "out").string() + "/";
    const std::pair<std::string, std::string> bearer{"Authorization",
                                                     std::string("Bearer ") + kToken};
    Board board;
    FakeWork work;
    int64_t now = 1718999000000;  // 2024-06-21, late evening
};

TEST(StationWebText, AddressesDecodingTokensAndThinning) {
    auto a = parseListenAddress("8080");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->host, "127.0.0.1");
    EXPECT_TRUE(a->loopback);
    a = parseListenAddress("[::1]:8080");
    ASSERT_TRUE(a && a->loopback && a->host == "::1");
    for (const char* bad : {"", "0", "65536", "host:", ":80", "::1:80", "8080x", "[::1]8080"}) {
        EXPECT_FALSE(parseListenAddress(bad)) << bad;
    }

    EXPECT_EQ(percentDecode("%2e%2E"), "..");
    for (const char* bad : {"%", "%2", "%zz", "a%00b", "%2x"}) EXPECT_FALSE(percentDecode(bad));

    EXPECT_FALSE(sameToken("correct horse battery!", kToken));
    EXPECT_FALSE(sameToken("correct horse batter", kToken));
    EXPECT_FALSE(sameToken("", ""));  // no token never matches

    std::vector<LiveDot> dots;
    for (int i = 0; i < 1000; ++i) dots.push_back({i * 10, 40000000 + i});
    const auto thin = thinDots(dots, 150);
    ASSERT_EQ(thin.size(), 150u);
    EXPECT_EQ(thin.back().timeUs, dots.back().timeUs);
    for (size_t i = 1; i < thin.size(); ++i) EXPECT_GT(thin[i].timeUs, thin[i - 1].timeUs);
    EXPECT_EQ(thinDots(std::vector<LiveDot>(dots.begin(), dots.begin() + 5), 150).size(), 5u);
}

TEST_F(StationWeb, OnlyListedFilesOfTheNightFolderAreServed) {
    Router router(board, work, base, "", "page", "login");
    EXPECT_EQ(get(router, "/api/files/%5BL212214.03%23?night=2024-06-21").status, 200);
    const Response picture = get(router, "/api/files/%5BL212214.03%23.png?night=2024-06-21");
    EXPECT_EQ(picture.status, 200);
    EXPECT_EQ(picture.type, "image/png");
    EXPECT_EQ(get(router, "/api/files/%5BL212214.03%23/calls").body, "[]");
    const Response file = get(router, "/api/files/%5BL212214.03%23");
    EXPECT_EQ(file.body, "dots");
    EXPECT_EQ(headerOf(file, "Content-Disposition"),
              "attachment; filename=\"[L212214.03#\"; filename*=UTF-8''%5BL212214.03%23");
    for (const char* target :
         {"/api/files/..", "/api/files/%2E%2E", "/api/files/..%2Fstation.log",
          "/api/files/%2E%2E%2Fstation.log", "/api/files/%2e%2e%2fstation.log",
          "/api/files/../station.log", "/../station.log", "/api/files/..%5Cstation.log",
          "/api/files/%2Fetc%2Fpasswd", "/api/files/%5BOUT.01%23", "/api/files/secret.01%23",
          "/api/files/%5BL212214.03%23%00", "/api/files/%5Bl212214.03%23",
          "/api/files/%5BL212214.03%23?night=2024-06-22", "/api/files/%5BL212214.03%23/x",
          "/api/files/station.log?night=..", "/api/files/station.log?night=%2E%2E",
          "/api/files/%2E%2E?night=.."}) {
        const int status = get(router, target).status;
        EXPECT_TRUE(status == 404 || status == 400) << target << " gave " << status;
    }
    EXPECT_EQ(get(router, "/api/files/x?night=../..").status, 400);
    EXPECT_EQ(get(router, "/etc/passwd").status, 404);
    EXPECT_FALSE(nightFile(base, "2024-02-30", "[L212214.03#"));
    // A save's empty claim is neither served nor listed.
    std::ofstream(base + "2024-06-21/[L212231.00#").flush();
    EXPECT_EQ(get(router, "/api/files/%5BL212231.00%23").status, 404);
    EXPECT_EQ(get(router, "/api/files").body.find("[L212231.00#"), std::string::npos);

    // The list: every listed file with its numbers, the newest last; a limit keeps the newest.
    const std::string all = get(router, "/api/files?night=2024-06-21").body;
    EXPECT_NE(all.find("{\"name\":\"[L212210.01#\",\"saved\":\""), std::string::npos) << all;
    EXPECT_NE(all.find("\"start\":\"2024-06-21T22:10:00.000000\",\"duration_ms\":1500.000,"
                       "\"calls\":7,\"fchar_khz\":42.500}"),
              std::string::npos)
        << all;
    const std::string newest = get(router, "/api/files?night=2024-06-21&limit=1").body;
    EXPECT_EQ(newest.find("[L212214.03#"), std::string::npos);
    EXPECT_NE(newest.find("[L212230.00#"), std::string::npos);
    EXPECT_EQ(get(router, "/api/files?night=2024-06-21&limit=0").status, 400);
    // A page of older files: the newest before a name. The nights, newest first, counted as
    // their lists show them.
    const std::string older =
        get(router, "/api/files?night=2024-06-21&limit=1&before=%5BL212230.00%23").body;
    EXPECT_NE(older.find("{\"name\":\"[L212214.03#\""), std::string::npos) << older;
    EXPECT_EQ(older.find("[L212230.00#"), std::string::npos) << older;
    EXPECT_EQ(older.find("[L212210.01#"), std::string::npos) << older;
    EXPECT_NE(older.find("\"utc_offset_s\":"), std::string::npos) << older;
    fs::create_directories(base + "2024-06-22");
    fs::create_directories(base + "2024-06-2x");
    EXPECT_EQ(get(router, "/api/nights").body,
              "[{\"night\":\"2024-06-22\",\"files\":0},{\"night\":\"2024-06-21\",\"files\":3}]");
}

TEST_F(StationWeb, TokenCookieAndRateLimit) {
    Router router(board, work, base, kToken, "the page", "the form");
    // Nothing without the token: the page sends to the form, the interface says 401.
    EXPECT_EQ(get(router, "/").status, 303);
    EXPECT_EQ(get(router, "/api/status").status, 401);
    EXPECT_EQ(get(router, "/api/record", {}, "POST").status, 401);
    EXPECT_EQ(board.takeControl(), Control::None);
    EXPECT_EQ(get(router, "/login").body, "the form");
    EXPECT_EQ(get(router, "/api/status", {bearer}).status, 200);

    // The form gives a cookie the browser keeps to itself and sends to this site only.
    const Response in = get(router, "/login", {}, "POST", "token=correct+horse+battery");
    ASSERT_EQ(in.status, 303);
    const std::string cookie = headerOf(in, "Set-Cookie");
    EXPECT_NE(cookie.find("HttpOnly"), std::string::npos) << cookie;
    EXPECT_NE(cookie.find("SameSite=Strict"), std::string::npos) << cookie;
    const std::string session = cookie.substr(0, cookie.find(';'));
    EXPECT_EQ(get(router, "/", {{"Cookie", "theme=dark; " + session}}).body, "the page");
    EXPECT_EQ(get(router, "/api/status", {{"Cookie", session + "x"}}).status, 401);

    // Five wrong tokens within a minute shut the address out for a minute, right token or not;
    // another address is not affected.
    EXPECT_EQ(get(router, "/login", {}, "POST", "token=guess1").status, 401);
    for (int i = 2; i <= 4; ++i) {
        EXPECT_EQ(get(router, "/api/status", {{"Authorization", "Bearer guess"}}).status, 401);
    }
    EXPECT_EQ(get(router, "/api/status", {{"Authorization", "Bearer guess"}}).status, 429);
    EXPECT_EQ(get(router, "/api/status", {{"Cookie", session}}).status, 429);
    EXPECT_EQ(get(router, "/login", {}, "POST", "token=correct+horse+battery").status, 429);
    EXPECT_EQ(get(router, "/api/status", {{"Cookie", session}}, "GET", "", "10.0.0.9").status, 200);
    now += 59000;
    EXPECT_EQ(get(router, "/api/status", {{"Cookie", session}}).status, 429);
    now += 2000;
    EXPECT_EQ(get(router, "/api/status", {{"Cookie", session}}).status, 200);
    // Failures spread over more than a minute do not add up.
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(get(router, "/api/status", {{"Authorization", "Bearer guess"}}).status, 401);
        now += 16000;
    }
}

TEST_F(StationWeb, ControlsArePostOnlyAndSizesAreLimited) {
    Router router(board, work, base, "", "page", "login");
    for (const char* control : {"/api/record", "/api/stop", "/api/schedule"}) {
        EXPECT_EQ(get(router, control).status, 405) << control;
        EXPECT_EQ(get(router, control, {}, "HEAD").status, 405) << control;
    }
    EXPECT_EQ(board.takeControl(), Control::None) << "a GET changed something";
    EXPECT_EQ(get(router, "/api/stop", {}, "POST").status, 202);
    EXPECT_EQ(board.takeControl(), Control::Stop);
    EXPECT_EQ(board.takeControl(), Control::None);
    EXPECT_EQ(get(router, "/api/schedule", {}, "POST").status, 202);
    EXPECT_EQ(board.takeControl(), Control::Schedule);
    EXPECT_EQ(get(router, "/api/status", {}, "DELETE").status, 405);

    // Another site's page in the same browser cannot press the controls, nor reach an open
    // page through a name of its own that points here.
    const std::pair<std::string, std::string> host{"Host", "127.0.0.1:8080"};
    EXPECT_EQ(get(router, "/api/stop", {host, {"Origin", "http://bats.example"}}, "POST").status,
              403);
    EXPECT_EQ(get(router, "/login", {host, {"Origin", "null"}}, "POST").status, 403);
    EXPECT_EQ(board.takeControl(), Control::None);
    EXPECT_EQ(get(router, "/api/stop", {host, {"Origin", "http://127.0.0.1:8080"}}, "POST").status,
              202);
    EXPECT_EQ(board.takeControl(), Control::Stop);
    EXPECT_EQ(get(router, "/api/status", {{"Host", "rebound.example:8080"}}).status, 403);
    for (const char* address : {"127.0.0.1:8080", "localhost:8080", "[::1]:8080", "10.0.0.2"}) {
        EXPECT_EQ(get(router, "/api/status", {{"Host", address}}).status, 200) << address;
    }
    const Response page = get(router, "/", {host});
    EXPECT_NE(headerOf(page, "Content-Security-Policy").find("default-src 'self'"),
              std::string::npos);
    // With a token the name does not matter: the token is what a rebound name lacks.
    Router guarded(board, work, base, kToken, "page", "login");
    EXPECT_EQ(get(guarded, "/api/status", {{"Host", "station.local:8080"}, bearer}).status, 200);
    EXPECT_EQ(get(router, "/api/status", {}, "POST").status, 405);

    Request big;
    big.method = "GET";
    big.target = "/api/status";
    big.headBytes = kMaxHeadBytes + 1;
    EXPECT_EQ(router.handle(big, now).status, 431);
    big.headBytes = kMaxHeadBytes;
    EXPECT_EQ(router.handle(big, now).status, 200);
    big.method = "POST";
    big.target = "/api/stop";
    big.headers = {{"Content-Length", "4097"}};
    EXPECT_EQ(router.handle(big, now).status, 413);
    big.headers = {{"content-length", "99999999999999999999"}};
    EXPECT_EQ(router.handle(big, now).status, 413);
    big.headers = {};
    big.body.assign(kMaxBodyBytes + 1, 'x');
    EXPECT_EQ(router.handle(big, now).status, 413);
    EXPECT_EQ(board.takeControl(), Control::None);
}

TEST_F(StationWeb, StatusAndActivityFollowTheBoard) {
    Snapshot s;
    s.state = "recording";
    s.night = "2024-06-21";
    s.files = 3;
    s.last = "[L212230.00#";
    s.lastAt = now / 1000 - 90;
    s.freeMb = 28110;
    s.gps = "52.52001,13.40495";
    s.sunset = now / 1000 - 3600;
    s.windowStart = now / 1000 - 3600;
    s.windowStop = now / 1000 + 8 * 3600;
    s.startedAt = now / 1000 - 7200;
    board.publish(s);
    for (int i = 0; i < 12; ++i) board.addLogLine("line " + std::to_string(i));
    Router router(board, work, base, "", "page", "login");
    const std::string status = get(router, "/api/status").body;
    for (const char* key : {"\"state\":\"recording\"", "\"night\":\"2024-06-21\"", "\"files\":3",
                            "\"last\":\"[L212230.00#\"", "\"last_ago_s\":90", "\"free_mb\":28110",
                            "\"gps\":\"52.52001,13.40495\"", "\"sunrise\":null",
                            "\"uptime_s\":7200", "\"log\":[\"line 2\",", "\"line 11\"]"}) {
        EXPECT_NE(status.find(key), std::string::npos) << key << " in " << status;
    }
    // The station's zone, for the page to label the times on its clock (a phone may be set to
    // another zone).
    const std::string offset = [&] {
        testing_support::ZoneGuard zone("<+0530>-5:30");
        return get(router, "/api/status").body;
    }();
    EXPECT_NE(offset.find("\"utc_offset_s\":19800,"), std::string::npos) << offset;
    // Tonight's bins run from the window's start to the clock: six of ten minutes.
    const std::time_t windowStart = static_cast<std::time_t>(*s.windowStart);
    for (const auto& [name, minutes] :
         {std::pair{"[L212210.01#", 5}, {"[L212214.03#", 7}, {"[L212230.00#", 55}}) {
        const std::string path = base + "2024-06-21/" + name;
        const auto when = windowStart + minutes * 60;
        const timespec times[2] = {{when, 0}, {when, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }
    const std::string activity = get(router, "/api/activity").body;
    EXPECT_NE(activity.find("\"counts\":[2,0,0,0,0,1]"), std::string::npos) << activity;
}

// The recorder's side only tries the lock; what it could not hand over while a reader held it
// follows with a later call, nothing lost but the dots older than those kept. The reader
// gets the newest and keeps its place.
TEST_F(StationWeb, WhatTheRecorderCouldNotHandOverFollowsLater) {
    std::atomic<bool> reading{true};
    std::thread reader([&] {
        while (reading.load()) (void)board.snapshot();
    });
    Snapshot s;
    s.night = "2024-06-21";
    uint64_t cursor = board.dotCount();
    for (int i = 0; i < 20000; ++i) {
        s.files = i;
        board.publish(s);
        board.offerDots({{i, 40000000 + i}});
    }
    reading.store(false);
    reader.join();
    board.offerDots({});  // hands over whatever a busy moment held back
    EXPECT_EQ(board.snapshot().files, 19999);
    const auto dots = board.dotsAfter(cursor, 1000);
    ASSERT_EQ(dots.size(), Board::kKeptDots);
    EXPECT_EQ(dots.back().timeUs, 19999);
    EXPECT_EQ(dots.back().frequencyMilliHz, 40019999);
    EXPECT_TRUE(board.dotsAfter(cursor, 10).empty());
}

}  // namespace
