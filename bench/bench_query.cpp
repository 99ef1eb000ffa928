// SPDX-License-Identifier: MIT
// One network time query, timed from Combo1_Click's entry to its return,
// beside the bare HTTP round trip of the same POST made with libcurl, both
// against one loopback server in the same run, interleaved.
//
// usage: bench_query [ROUNDS]   (QT_QPA_PLATFORM=offscreen is enough)

#include "application.h"
#include "form1.h"

#include <curl/curl.h>
#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string httpDate()
{
    char buf[64];
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    std::strftime(buf, sizeof buf, "%a, %d %b %Y %H:%M:%S GMT", &tm);
    return buf;
}

size_t discard(char *, size_t size, size_t n, void *) { return size * n; }

// The same request the clock makes: POST, no body, the Date header read.
double curlRoundTripMs(const std::string &url)
{
    const auto start = Clock::now();
    CURL *curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, "");
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, 0L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, discard);
    const CURLcode rc = curl_easy_perform(curl);
    curl_header *date = nullptr;
    const bool haveDate = curl_easy_header(curl, "Date", 0, CURLH_HEADER, -1, &date) == CURLHE_OK;
    curl_easy_cleanup(curl);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (rc != CURLE_OK || !haveDate) {
        std::fprintf(stderr, "bench_query: bare libcurl request failed (%d)\n", int(rc));
        std::exit(1);
    }
    return ms;
}

struct Stats {
    double median, p10, p90, min;
};

Stats stats(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const auto at = [&](double q) { return v[size_t(q * double(v.size() - 1) + 0.5)]; };
    return {at(0.5), at(0.1), at(0.9), v.front()};
}

} // namespace

int main(int argc, char *argv[])
{
    platform::Application app(argc, argv, u"bench_query");
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;

    httplib::Server server;
    server.Post(".*", [](const httplib::Request &, httplib::Response &response) {
        response.set_header("Date", httpDate());
        response.set_content("ok", "text/plain");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    if (port <= 0) {
        std::fprintf(stderr, "bench_query: cannot listen on 127.0.0.1\n");
        return 1;
    }
    std::thread serving([&] { server.listen_after_bind(); });
    while (!server.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/";

    curl_global_init(CURL_GLOBAL_DEFAULT);
    Form1 form;
    form.Combo1.setText(platform::fromUtf8(url));

    // Warm both paths (first connection, lazy library set-up) before timing.
    for (int i = 0; i < 5; ++i) {
        curlRoundTripMs(url);
        form.Label6_Click();
        form.Combo1_Click();
    }
    std::vector<double> bare, click;
    for (int i = 0; i < rounds; ++i) {
        bare.push_back(curlRoundTripMs(url));
        // A first query each time: a repeated one to the same server would
        // wait for the moment that tells most about its clock.
        form.Label6_Click();
        const auto start = Clock::now();
        form.Combo1_Click();
        click.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    server.stop();
    serving.join();

    const Stats b = stats(bare), c = stats(click);
    std::printf("rounds %d\n", rounds);
    std::printf("libcurl POST round trip   ms: median %.3f  p10 %.3f  p90 %.3f  min %.3f\n",
                b.median, b.p10, b.p90, b.min);
    std::printf("Combo1_Click entry-return ms: median %.3f  p10 %.3f  p90 %.3f  min %.3f\n",
                c.median, c.p10, c.p90, c.min);
    std::printf("own overhead (median difference) ms: %.3f   ratio %.2f\n",
                c.median - b.median, c.median / b.median);
    curl_global_cleanup();
    return 0;
}
