// Two questions about HEVC decoding, answered on one photo:
//  1. decoders: libde265 against libavcodec, one thread, decode to RGB as a JPEG
//     conversion asks for it; CPU and wall time, interleaved.
//  2. threads: how many libheif tile threads each job should get when jobs conversions
//     (decode + JPEG q90) run at once on this machine's cores.
#include "convert/diagnostics.h"
#include "convert/encoder.h"
#include "convert/heif_handles.h"
#include "decode/hevc_decoder.h"
#include "decode/thread_budget.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kLibheifDefault = -1; // the engine's setting today: libheif's own default

double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    double total = 0;
    for (const timeval& t : {usage.ru_utime, usage.ru_stime}) {
        total += static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    }
    return total;
}

struct Times {
    std::vector<double> wall, cpu;
};

double Median(std::vector<double> v) {
    if (v.empty()) {
        return 0;
    }
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

double Min(const std::vector<double>& v) {
    return v.empty() ? 0 : *std::min_element(v.begin(), v.end());
}

// One conversion as a job does it, with the given libheif tile threads; false on failure.
bool Convert(const std::string& input, const std::string& output, int threads, bool encode) {
    velquist::HeifContextPtr ctx(heif_context_alloc());
    if (threads != kLibheifDefault) {
        heif_context_set_max_decoding_threads(ctx.get(), threads);
    }
    if (heif_context_read_from_file(ctx.get(), input.c_str(), nullptr).code != heif_error_Ok) {
        return false;
    }
    heif_image_handle* rawHandle = nullptr;
    if (heif_context_get_primary_image_handle(ctx.get(), &rawHandle).code != heif_error_Ok) {
        return false;
    }
    velquist::HeifHandlePtr handle(rawHandle);
    std::unique_ptr<velquist::Encoder> encoder =
        velquist::CreateEncoder(velquist::ConversionSettings{});
    const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
    const int depth = heif_image_handle_get_luma_bits_per_pixel(handle.get());
    heif_image* rawImage = nullptr;
    if (heif_decode_image(handle.get(), &rawImage, encoder->PreferredColorspace(alpha),
                          encoder->PreferredChroma(alpha, depth), nullptr)
            .code != heif_error_Ok) {
        return false;
    }
    velquist::HeifImagePtr image(rawImage);
    if (!encode) {
        return true;
    }
    velquist::Diagnostics diag(false);
    return encoder->WriteImage(handle.get(), image.get(), output, diag);
}

void CompareDecoders(const std::string& input, int reps) {
    std::map<std::string, Times> times;
    for (int r = 0; r < reps; ++r) {
        for (const bool avcodec : {false, true}) {
            velquist::SetHevcDecoderEnabled(avcodec);
            const double cpu = CpuSeconds();
            const auto start = Clock::now();
            if (!Convert(input, "", 0, false)) {
                std::printf("  decode failed\n");
            }
            Times& t = times[velquist::HevcDecoderName()];
            t.wall.push_back(std::chrono::duration<double>(Clock::now() - start).count());
            t.cpu.push_back(CpuSeconds() - cpu);
        }
    }
    velquist::SetHevcDecoderEnabled(true);
    std::printf("decoders: one decode to RGB, tiles on one thread, %d runs (median, min)\n", reps);
    for (const auto& [name, t] : times) {
        std::printf("  %-10s cpu %.3f s (min %.3f)  wall %.3f s (min %.3f)\n", name.c_str(),
                    Median(t.cpu), Min(t.cpu), Median(t.wall), Min(t.wall));
    }
    const Times& a = times["libavcodec"];
    const Times& d = times["libde265"];
    std::printf("  libavcodec / libde265: cpu %.2fx (min %.2fx), wall %.2fx (min %.2fx)\n",
                Median(a.cpu) / Median(d.cpu), Min(a.cpu) / Min(d.cpu),
                Median(a.wall) / Median(d.wall), Min(a.wall) / Min(d.wall));
}

// copies conversions run by jobs threads, each taking the next file.
bool RunBatch(const std::string& input, const std::string& dir, int copies, int jobs, int threads) {
    std::atomic<int> next{0};
    std::atomic<bool> ok{true};
    std::vector<std::thread> workers;
    for (int j = 0; j < jobs; ++j) {
        workers.emplace_back([&] {
            for (int i = next++; i < copies; i = next++) {
                if (!Convert(input, dir + "/" + std::to_string(i) + ".jpg", threads, true)) {
                    ok = false;
                }
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    return ok;
}

std::string ThreadsName(int threads) {
    return threads == kLibheifDefault ? "default" : std::to_string(threads);
}

void CompareThreadBudgets(const std::string& input, int reps, int copies, const std::string& dir) {
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    const std::vector<int> budgets = {0, 1, 2, 4, kLibheifDefault};
    std::printf("threads: %d conversions to JPEG q90, decoder %s, %d cores, %d runs "
                "interleaved (fastest)\n",
                copies, velquist::HevcDecoderName(), cores, reps);
    for (int jobs = 1; jobs <= 3; ++jobs) {
        std::map<int, Times> times;
        for (int r = 0; r < reps; ++r) {
            for (const int threads : budgets) {
                const double cpu = CpuSeconds();
                const auto start = Clock::now();
                if (!RunBatch(input, dir, copies, jobs, threads)) {
                    std::printf("  conversion failed\n");
                }
                times[threads].wall.push_back(
                    std::chrono::duration<double>(Clock::now() - start).count());
                times[threads].cpu.push_back(CpuSeconds() - cpu);
            }
        }
        std::printf("  %d job%s:", jobs, jobs > 1 ? "s" : " ");
        int best = budgets.front();
        for (const int threads : budgets) {
            std::printf("  %s: %.2f s (cpu %.2f)", ThreadsName(threads).c_str(),
                        Min(times[threads].wall), Min(times[threads].cpu));
            if (Min(times[threads].wall) < Min(times[best].wall)) {
                best = threads;
            }
        }
        std::printf("\n     fastest %s; DecodeThreadsPerJob(%d, %d) = %d\n",
                    ThreadsName(best).c_str(), jobs, cores,
                    velquist::DecodeThreadsPerJob(jobs, cores));
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s INPUT.heic [REPS] [COPIES] [decoders|threads|all]\n",
                     argv[0]);
        return 2;
    }
    velquist::RegisterHevcDecoder();
    const std::string input = argv[1];
    const int reps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const int copies = argc > 3 ? std::max(1, std::atoi(argv[3])) : 6;
    const std::string what = argc > 4 ? argv[4] : "all";
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("velquist-decode-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::printf("input %s\n", input.c_str());
    if (what == "all" || what == "decoders") {
        CompareDecoders(input, reps);
    }
    if (what == "all" || what == "threads") {
        CompareThreadBudgets(input, reps, copies, dir.string());
    }
    std::filesystem::remove_all(dir);
    return 0;
}
