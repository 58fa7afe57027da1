// Compares the command-line converter with the in-process floor (libheif decode plus
// our encoder, nothing else) and with ImageMagick and libvips on the same input, in
// one run. Every measurement is a child process, so peak RSS is per conversion.
#include "convert/diagnostics.h"
#include "convert/encoder.h"
#include "convert/heif_handles.h"
#include "decode/hevc_decoder.h"
#include "decode/thread_budget.h"
#include "tasks/conversion_request.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// Child side of a floor measurement: prints "decode encode" seconds.
int RunFloor(const std::string& format, const std::string& in, const std::string& out) {
    const auto start = Clock::now();
    velquist::HeifContextPtr ctx(heif_context_alloc());
    // As a conversion that has the machine to itself gets them.
    heif_context_set_max_decoding_threads(
        ctx.get(), velquist::DecodeThreadsPerJob(1, velquist::AvailableCores()));
    if (heif_context_read_from_file(ctx.get(), in.c_str(), nullptr).code != heif_error_Ok) {
        return 1;
    }
    heif_image_handle* rawHandle = nullptr;
    if (heif_context_get_primary_image_handle(ctx.get(), &rawHandle).code != heif_error_Ok) {
        return 1;
    }
    velquist::HeifHandlePtr handle(rawHandle);
    std::unique_ptr<velquist::Encoder> encoder = velquist::CreateEncoder(
        {velquist::ParseOutputFormat(format).value_or(velquist::OutputFormat::kJpg)});
    const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
    const int depth = heif_image_handle_get_luma_bits_per_pixel(handle.get());
    heif_image* rawImage = nullptr;
    if (heif_decode_image(handle.get(), &rawImage, encoder->PreferredColorspace(alpha),
                          encoder->PreferredChroma(alpha, depth), nullptr)
            .code != heif_error_Ok) {
        return 1;
    }
    velquist::HeifImagePtr image(rawImage);
    const auto decoded = Clock::now();
    velquist::Diagnostics diag(true);
    if (!encoder->WriteImage(handle.get(), image.get(), out, diag)) {
        return 1;
    }
    const auto written = Clock::now();
    std::printf("%.6f %.6f\n", Seconds(start, decoded), Seconds(decoded, written));
    return 0;
}

struct Sample {
    bool ok = false;
    double seconds = 0;
    double cpu = 0; // user + system
    long peakKb = 0;
    std::string out;
};

// Runs argv with stdout to a file; wall time, CPU time and peak RSS from wait4. With
// forceLibde265 the child decodes HEVC with libheif's own libde265 (the baseline).
Sample Spawn(std::vector<std::string> argv, const std::string& stdoutPath, bool forceLibde265,
             const std::string& stdinPath) {
    std::vector<char*> args;
    for (auto& a : argv) {
        args.push_back(a.data());
    }
    args.push_back(nullptr);
    std::fflush(stdout);
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        if (std::freopen(stdoutPath.c_str(), "w", stdout) == nullptr ||
            std::freopen("/dev/null", "w", stderr) == nullptr ||
            (!stdinPath.empty() && std::freopen(stdinPath.c_str(), "r", stdin) == nullptr)) {
            _exit(126);
        }
        if (forceLibde265) {
            setenv(velquist::kHevcDecoderVariable, "libde265", 1);
        }
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    Sample s;
    s.seconds = Seconds(start, Clock::now());
    s.peakKb = usage.ru_maxrss;
    for (const timeval& t : {usage.ru_utime, usage.ru_stime}) {
        s.cpu += static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    }
    s.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (FILE* f = std::fopen(stdoutPath.c_str(), "r")) {
        char line[256] = {};
        if (std::fgets(line, sizeof line, f) != nullptr) {
            s.out = line;
        }
        std::fclose(f);
    }
    return s;
}

double Median(std::vector<double> v) {
    if (v.empty()) {
        return 0;
    }
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

struct Row {
    std::string name;
    std::vector<double> total, cpu, decode, encode;
    std::vector<double> peakKb;
    uintmax_t bytes = 0;
    bool failed = false;
};

void Print(const Row& row, const Row& floor) {
    if (row.failed || row.total.empty()) {
        std::printf("  %-28s failed or not available\n", row.name.c_str());
        return;
    }
    const double t = Median(row.total);
    const double ft = Median(floor.total);
    std::printf("  %-28s total %7.3f s (%.2fx floor) cpu %6.3f s", row.name.c_str(), t, t / ft,
                Median(row.cpu));
    if (!row.decode.empty()) {
        std::printf("  decode %6.3f  encode %6.3f", Median(row.decode), Median(row.encode));
    }
    std::printf("  peak %7.1f MB (%.2fx)  size %10ju B (%.3fx)\n", Median(row.peakKb) / 1024,
                Median(row.peakKb) / Median(floor.peakKb), row.bytes,
                static_cast<double>(row.bytes) / static_cast<double>(floor.bytes));
}

void Measure(Row& row, const std::vector<std::string>& argv, const std::string& outFile,
             const std::string& tmp, bool floor, bool forceLibde265 = false,
             const std::string& stdinPath = {}) {
    std::filesystem::remove(outFile);
    const Sample s = Spawn(argv, tmp + "/stdout.txt", forceLibde265, stdinPath);
    if (!s.ok) {
        row.failed = true;
        return;
    }
    row.peakKb.push_back(static_cast<double>(s.peakKb));
    row.total.push_back(s.seconds);
    row.cpu.push_back(s.cpu);
    if (floor) {
        double d = 0, e = 0;
        if (std::sscanf(s.out.c_str(), "%lf %lf", &d, &e) == 2) {
            row.decode.push_back(d);
            row.encode.push_back(e);
        }
    }
    std::error_code ec;
    row.bytes = std::filesystem::file_size(outFile, ec);
}

} // namespace

int main(int argc, char** argv) {
    velquist::RegisterHevcDecoder();
    if (argc == 5 && std::string(argv[1]) == "--floor") {
        return RunFloor(argv[2], argv[3], argv[4]);
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s INPUT.heic [REPETITIONS] [FORMATS...]\n", argv[0]);
        return 2;
    }
    const std::string self = std::filesystem::absolute(argv[0]).string();
    const std::string input = argv[1];
    const int reps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::vector<std::string> formats = {"jpg", "png", "bmp"};
    if (argc > 3) {
        formats.assign(argv + 3, argv + argc);
    }
    const std::string tmp =
        std::filesystem::temp_directory_path() / ("velquist-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(tmp);
    std::printf("input %s, %d repetitions, medians; HEVC decoder of the floor: %s\n", input.c_str(),
                reps, velquist::HevcDecoderName());
    for (const std::string& format : formats) {
        Row floor{"floor (in-process)"}, ours{"velquist-convert, libavcodec"},
            baseline{"velquist-convert, libde265"}, magick{"ImageMagick convert"},
            vips{"vips copy"};
        const std::string out = tmp + "/out." + format;
        for (int i = 0; i < reps; ++i) {
            Measure(floor, {self, "--floor", format, input, out}, out, tmp, true);
            // The one-shot worker reads its request on standard input.
            velquist::ConvertTask task{input, out};
            task.settings.format = *velquist::ParseOutputFormat(format);
            const std::string request = tmp + "/request";
            std::ofstream(request, std::ios::binary) << velquist::EncodeConversionRequest(task);
            const std::vector<std::string> worker = {VELQUIST_CONVERT_BIN, "--worker"};
            Measure(ours, worker, out, tmp, false, false, request);
            Measure(baseline, worker, out, tmp, false, true, request);
            std::vector<std::string> im = {"convert", input};
            if (format == "jpg") {
                im.insert(im.end(), {"-quality", "90"});
            }
            im.push_back(out);
            Measure(magick, im, out, tmp, false);
            Measure(vips, {"vips", "copy", input, format == "jpg" ? out + "[Q=90]" : out}, out, tmp,
                    false);
        }
        std::printf("%s\n", format.c_str());
        for (const Row* row : {&floor, &ours, &baseline, &magick, &vips}) {
            Print(*row, floor);
        }
        if (!ours.failed && !baseline.failed && !vips.failed && !vips.total.empty()) {
            std::printf("  velquist/vips time: libde265 %.2fx (cpu %.2fx), libavcodec %.2fx (cpu "
                        "%.2fx)\n",
                        Median(baseline.total) / Median(vips.total),
                        Median(baseline.cpu) / Median(vips.cpu),
                        Median(ours.total) / Median(vips.total),
                        Median(ours.cpu) / Median(vips.cpu));
        }
        if (!ours.failed && !magick.failed && magick.bytes > 0) {
            std::printf("  velquist/ImageMagick size %.3fx",
                        static_cast<double>(ours.bytes) / magick.bytes);
        }
        std::printf("\n");
    }
    std::filesystem::remove_all(tmp);
    return 0;
}
