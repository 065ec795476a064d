// Per-frame star work and catalog loading, each frame figure next to its
// floor measured in the same run on the same list: a walk that only reads
// each record's position and writes its view position.
//
//   starhop_bench [--sizes=shipped,1000000,10000000] [--data_dir=DIR]
//                 [--summary=FILE] [Google Benchmark flags]
//   starhop_bench --startup=SIZE [--data_dir=DIR]
//   starhop_bench --load_file=PATH [--lines=N] [--again=K]
//   starhop_bench --inflate_file=PATH
//
// "shipped" is the catalog in data/; a number is a synthetic catalog of that
// many stars, written into DIR (default: the current directory) the first time
// it is needed. The summary (frame and floor medians, their ratio, the frames
// through the star groups beside them, the groups' making, load rates)
// goes to standard output after the run, and as tab-separated values to FILE.
// --startup times, once, the load and the groups' making of a fresh process;
// --load_file times, once, a fresh process's load of any catalog (a table, a
// gzipped file), in lines of the file a second (N lines when given: a
// compressed file's lines cannot be counted in its bytes), then K more times
// into the records freed by the load before. --inflate_file times zlib alone
// reading a gzipped file through (gzread into 1 MiB), the most a load of it
// could reach on one thread.
#include "engine/catalog.h"
#include "engine/star_groups.h"
#include "engine/stars.h"
#include "synthetic_catalog.h"
#include "model/camera.h"

#include <allegro.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <vector>
#include <zlib.h>

namespace {

std::string data_dir = ".";
BITMAP* buffer = nullptr;                                        // the 640 by 480 back buffer

// A catalog by its name on the command line: where its file is.
std::string catalog_path(const std::string& size)
{
    if (size == "shipped") return STARHOP_SOURCE_DIR "/data/stars.txt";
    const std::string path = data_dir + "/synthetic-" + size + "-seed1.txt";
    struct stat about;
    if (stat(path.c_str(), &about) == 0) return path;
    const std::string partial = path + ".part";
    std::FILE* f = std::fopen(partial.c_str(), "wb");
    if (!f || !write_synthetic_catalog(f, std::atoll(size.c_str()), 1) || std::fclose(f) != 0 ||
        std::rename(partial.c_str(), path.c_str()) != 0) {
        std::fprintf(stderr, "%s: cannot be written: %s\n", partial.c_str(), std::strerror(errno));
        std::exit(2);
    }
    return path;
}

long long count_lines(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> block(1 << 20);
    long long lines = 0;
    while (in.read(block.data(), block.size()) || in.gcount() > 0)
        lines += std::count(block.data(), block.data() + in.gcount(), '\n');
    return lines;
}

// Loads through the program's own entry, with its closing line and any
// progress kept off the benchmark's output.
int load_quietly(const std::string& path, star_type* head)
{
    std::ostringstream sink;
    std::streambuf* out = std::cout.rdbuf(sink.rdbuf());
    std::streambuf* err = std::cerr.rdbuf(sink.rdbuf());
    const int n = load_catalog(path.c_str(), head, 6.0f);
    std::cout.rdbuf(out);
    std::cerr.rdbuf(err);
    return n;
}

// Star lists, loaded once each and kept for the whole run.
std::map<std::string, star_list> lists;

star_type* list_of(const std::string& size)
{
    const auto loaded = lists.find(size);
    if (loaded != lists.end()) return loaded->second.first();
    star_type* const head = lists[size].first();
    if (load_quietly(catalog_path(size), head) == 0) {
        std::fprintf(stderr, "catalog %s did not load\n", size.c_str());
        std::exit(2);
    }
    return head;
}

// The view from home, and from 1,000 light years out along the first view
// direction, looking on.
matrix camera_view(bool flown_out)
{
    camera c;
    if (flown_out) c.camera_position = c.forward * 1000.0f;
    return build_view(c);
}

// The densest place of the synthetic catalogs: the centre of their disc,
// 26,000 light years from home, looking on along the first view direction.
// Culling helps least there.
matrix centre_view()
{
    camera c;
    c.camera_position = vector(-0.0548755604f, -0.8734370902f, -0.4838350155f) * 26000.0f;
    return build_view(c);
}

matrix view_named(const std::string& where)
{
    return where == "centre" ? centre_view() : camera_view(where == "out1000");
}

long long list_length(const star_type* head)
{
    long long n = 0;
    for (; head; head = head->next) ++n;
    return n;
}

// What a frame does with the stars: every record, in list order.
void full_walk(benchmark::State& state, star_type* head, const matrix& view)
{
    clear_bitmap(buffer);
    const draw_context frame(buffer, lens(), false);
    for (auto _ : state) {
        for (star_type* s = head; s; s = s->next) {
            s->transform_star(view);
            s->draw(frame);
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * list_length(head));
}

void frame_stars(benchmark::State& state, const std::string& size, bool flown_out)
{
    full_walk(state, list_of(size), camera_view(flown_out));
}

// The floor: the same walk, reading each position and writing its view
// position with the frame's own transform, nothing else.
void floor_walk(benchmark::State& state, const std::string& size, bool flown_out)
{
    star_type* head = list_of(size);
    const matrix view = camera_view(flown_out);
    for (auto _ : state) {
        for (star_type* s = head; s; s = s->next) s->transform_star(view);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * list_length(head));
}

// A whole frame through the groups on a screen of a size, at an exposure:
// the back buffer cleared, the stars drawn through the lens, the buffer
// copied to a screen-sized bitmap (a stand-in for the window). With
// `stars_too` false, the clear and the copy alone: the frame's floor.
struct screen_frame_case {
    int width, height, exposure_steps;         // exposure in half magnitudes
};

// Star groups of each list, made once, with the seconds that took.
struct made_groups {
    std::unique_ptr<star_groups> groups;
    double seconds;
};
std::map<std::string, made_groups> groups_of;

star_groups& groups_for(const std::string& size)
{
    made_groups& g = groups_of[size];
    if (!g.groups) {
        star_type* head = list_of(size);
        const auto start = std::chrono::steady_clock::now();
        g.groups = std::make_unique<star_groups>(head);
        g.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    return *g.groups;
}

// The frame's star work through the groups: the same pixels as frame_stars.
void culled_frame(benchmark::State& state, const std::string& size, const std::string& where)
{
    star_groups& groups = groups_for(size);
    const matrix view = view_named(where);
    clear_bitmap(buffer);
    const draw_context frame(buffer, lens(), false);     // the window opened by default
    for (auto _ : state) {
        groups.draw(view, frame);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * groups.star_count());
    state.counters["stars_drawn"] = (double)groups.last_drawn();
    state.counters["groups"] = (double)groups.group_count();
    state.counters["bytes_per_star"] = (double)groups.bytes() / groups.star_count();
}

void screen_frame(benchmark::State& state, const std::string& size, const std::string& where,
                  screen_frame_case k, bool stars_too)
{
    star_groups& groups = groups_for(size);
    const matrix view = view_named(where);
    BITMAP* back = create_bitmap(k.width, k.height);
    BITMAP* shown = create_bitmap(k.width, k.height);
    lens optics(k.width, k.height);
    optics.expose_by(k.exposure_steps);
    const draw_context frame(back, optics, 0);
    for (auto _ : state) {
        clear_bitmap(back);
        if (stars_too) groups.draw(view, frame);
        blit(back, shown, 0, 0, 0, 0, k.width, k.height);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * groups.star_count());
    if (stars_too) state.counters["stars_drawn"] = (double)groups.last_drawn();
    destroy_bitmap(shown);
    destroy_bitmap(back);
}

// The full walk from the densest place, beside culled_frame there.
void centre_frame(benchmark::State& state, const std::string& size)
{
    full_walk(state, list_of(size), centre_view());
}

void load(benchmark::State& state, const std::string& size)
{
    const std::string path = catalog_path(size);
    const long long lines = count_lines(path);
    star_list list;
    for (auto _ : state) {
        benchmark::DoNotOptimize(load_quietly(path, list.first()));
        state.PauseTiming();
        list.clear();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * lines);
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MiB"] = usage.ru_maxrss / 1024.0;
}

// Keeps the median (or the only) times of every benchmark for the summary.
class summary_reporter : public benchmark::ConsoleReporter {
public:
    struct times { double real, cpu; };                          // seconds per iteration
    std::map<std::string, times> seconds;
    std::map<std::string, double> items_per_second;

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs) {
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name != "median") continue;
            const std::string name = r.run_name.function_name;
            const double unit = benchmark::GetTimeUnitMultiplier(r.time_unit);
            seconds[name] = {r.GetAdjustedRealTime() / unit, r.GetAdjustedCPUTime() / unit};
            const auto items = r.counters.find("items_per_second");
            if (items != r.counters.end()) items_per_second[name] = items->second;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

std::vector<std::string> split(const std::string& list)
{
    std::vector<std::string> out;
    std::stringstream in(list);
    for (std::string item; std::getline(in, item, ',');)
        if (!item.empty()) out.push_back(item);
    return out;
}

// A line of /proc/self/status in KiB ("VmRSS", "VmHWM"), 0 where there is none.
long status_kib(const char* field)
{
    std::ifstream status("/proc/self/status");
    const std::string key = std::string(field) + ":";
    for (std::string line; std::getline(status, line);)
        if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + key.size());
    return 0;
}

// Starts the peak resident size (VmHWM) again from the present size.
void reset_peak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

// What the viewer does before its first frame, in a process of its own as
// at start-up (no memory reused from an earlier load): the load, then the
// star groups.
int start_up(const std::string& size)
{
    using clock = std::chrono::steady_clock;
    star_list list;
    const auto start = clock::now();
    const int n = load_quietly(catalog_path(size), list.first());
    const auto loaded = clock::now();
    const long before = status_kib("VmRSS");
    reset_peak();
    star_groups groups(list.first(), true, std::max(n, 0) + 1);
    const auto made = clock::now();
    const long peak = status_kib("VmHWM"), after = status_kib("VmRSS");
    const double load = std::chrono::duration<double>(loaded - start).count();
    const double make = std::chrono::duration<double>(made - loaded).count();
    const double per_star = n > 0 ? 1024.0 / n : 0;
    std::printf("# startup/%s\t%d lines loaded in %.2f s\t%.2f million lines per second\t"
                "groups made in %.2f s\t%.1f%% of the load\t"
                "groups' peak %.2f bytes a star above the list, %.2f once made\n",
                size.c_str(), n, load, n / load / 1e6, make, 100 * make / load,
                (peak - before) * per_star, (after - before) * per_star);
    std::fflush(stdout);
    std::_Exit(n > 0 ? 0 : 2);                                  // the list goes with the process
}

// One load of a file of any format, as at start-up, in lines of the file a
// second: a table's header and skipped rows count, as they cost reading.
// Then, when asked, the median of further loads into the records freed by
// the one before: the reading alone, without the first writes to fresh pages.
int load_file(const std::string& path, long long lines, int again)
{
    using clock = std::chrono::steady_clock;
    star_list list;
    const auto start = clock::now();
    const int n = load_quietly(path, list.first());
    const double seconds = std::chrono::duration<double>(clock::now() - start).count();
    rusage used;
    getrusage(RUSAGE_SELF, &used);
    const double cpu = used.ru_utime.tv_sec + used.ru_stime.tv_sec + (used.ru_utime.tv_usec + used.ru_stime.tv_usec) / 1e6;
    if (lines <= 0) lines = count_lines(path);
    std::printf("# load_file/%s\t%d stars\t%lld lines in %.3f s\t%.2f million lines per second\t"
                "%.3f s of processor time", path.c_str(), n, lines, seconds, lines / seconds / 1e6, cpu);
    std::vector<double> times;
    for (int i = 0; i < again; ++i) {
        list.clear();
        const auto from = clock::now();
        load_quietly(path, list.first());
        times.push_back(std::chrono::duration<double>(clock::now() - from).count());
    }
    if (!times.empty()) {
        std::sort(times.begin(), times.end());
        const double median = times[times.size() / 2];
        std::printf("\tagain %zu times: median %.3f s, %.2f million lines per second", times.size(), median,
                    lines / median / 1e6);
    }
    std::printf("\n");
    std::fflush(stdout);
    std::_Exit(n > 0 ? 0 : 2);                                  // the list goes with the process
}

// zlib's own pace on a gzipped file: every byte inflated and its lines counted.
int inflate_file(const std::string& path)
{
    using clock = std::chrono::steady_clock;
    const auto start = clock::now();
    gzFile in = gzopen(path.c_str(), "rb");
    if (!in) return 2;
    gzbuffer(in, 1 << 20);
    std::vector<char> block(1 << 20);
    long long bytes = 0, lines = 0;
    for (int got; (got = gzread(in, block.data(), (unsigned)block.size())) > 0;) {
        bytes += got;
        lines += std::count(block.data(), block.data() + got, '\n');
    }
    gzclose(in);
    const double seconds = std::chrono::duration<double>(clock::now() - start).count();
    std::printf("# inflate_file/%s\t%lld bytes, %lld lines in %.3f s\t%.2f million lines per second\n", path.c_str(),
                bytes, lines, seconds, lines / seconds / 1e6);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> sizes = {"shipped", "1000000", "10000000"};
    std::string summary_file, startup, file, inflated;
    long long file_lines = 0;
    int again = 0;
    std::vector<char*> rest = {argv[0]};
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("--sizes=", 0) == 0) sizes = split(a.substr(8));
        else if (a.rfind("--data_dir=", 0) == 0) data_dir = a.substr(11);
        else if (a.rfind("--summary=", 0) == 0) summary_file = a.substr(10);
        else if (a.rfind("--startup=", 0) == 0) startup = a.substr(10);
        else if (a.rfind("--load_file=", 0) == 0) file = a.substr(12);
        else if (a.rfind("--lines=", 0) == 0) file_lines = std::atoll(a.c_str() + 8);
        else if (a.rfind("--inflate_file=", 0) == 0) inflated = a.substr(15);
        else if (a.rfind("--again=", 0) == 0) again = std::atoi(a.c_str() + 8);
        else rest.push_back(argv[i]);
    }
    if (!startup.empty()) return start_up(startup);
    if (!file.empty()) return load_file(file, file_lines, again);
    if (!inflated.empty()) return inflate_file(inflated);
    int rest_count = (int)rest.size();
    benchmark::Initialize(&rest_count, rest.data());
    if (benchmark::ReportUnrecognizedArguments(rest_count, rest.data())) return 1;

    if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0) {
        std::fprintf(stderr, "cannot start the graphics library: %s\n", allegro_error);
        return 1;
    }
    set_color_depth(32);
    buffer = create_bitmap(screen_width, screen_height);

    const char* cameras[] = {"home", "out1000"};
    for (const std::string& size : sizes)
        for (int flown = 0; flown < 2; ++flown) {
            const std::string where = size + "/" + cameras[flown];
            benchmark::RegisterBenchmark(("frame/" + where).c_str(), frame_stars, size, flown == 1)
                ->Unit(benchmark::kMillisecond)->UseRealTime();
            benchmark::RegisterBenchmark(("floor/" + where).c_str(), floor_walk, size, flown == 1)
                ->Unit(benchmark::kMillisecond)->UseRealTime();
        }
    for (const std::string& size : sizes) {
        for (const char* where : {"home", "out1000", "centre"})
            benchmark::RegisterBenchmark(("culled/" + size + "/" + where).c_str(), culled_frame, size,
                                         std::string(where))
                ->Unit(benchmark::kMillisecond)->UseRealTime();
        benchmark::RegisterBenchmark(("frame/" + size + "/centre").c_str(), centre_frame, size)
            ->Unit(benchmark::kMillisecond)->UseRealTime();
    }
    const screen_frame_case screens[] = {{640, 480, 0}, {640, 480, 4}, {1920, 1080, 0}, {1920, 1080, 4}};
    auto screen_name = [](const screen_frame_case& k) {
        char name[64];
        std::snprintf(name, sizeof name, "%dx%d/e%+.1f", k.width, k.height, k.exposure_steps * 0.5);
        return std::string(name);
    };
    for (const std::string& size : sizes)
        for (const char* where : cameras)
            for (const screen_frame_case& k : screens) {
                const std::string name = size + "/" + where + "/" + screen_name(k);
                benchmark::RegisterBenchmark(("screen/" + name).c_str(), screen_frame, size, std::string(where), k, true)
                    ->Unit(benchmark::kMillisecond)->UseRealTime();
                if (k.exposure_steps == 0 && size == sizes.front() && where == cameras[0])
                    benchmark::RegisterBenchmark(("screen_floor/" + screen_name(k)).c_str(), screen_frame, size,
                                                 std::string(where), k, false)
                        ->Unit(benchmark::kMillisecond)->UseRealTime();
            }
    for (const std::string& size : sizes)
        if (size == "shipped" || size == sizes.back())
            benchmark::RegisterBenchmark(("load/" + size).c_str(), load, size)
                ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(size == "shipped" ? 10 : 2);

    summary_reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::ostringstream table;
    table << "catalog\tstars\tcamera\tframe_ms\tfloor_ms\tratio\tframe_cpu_ms\tfloor_cpu_ms\tcpu_ratio\n";
    for (const std::string& size : sizes)
        for (const char* where : cameras) {
            const std::string run = size + "/" + where;
            if (!reporter.seconds.count("frame/" + run) || !reporter.seconds.count("floor/" + run)) continue;
            const summary_reporter::times frame = reporter.seconds["frame/" + run];
            const summary_reporter::times floor = reporter.seconds["floor/" + run];
            char line[200];
            std::snprintf(line, sizeof line, "%s\t%lld\t%s\t%.3f\t%.3f\t%.2f\t%.3f\t%.3f\t%.2f\n", size.c_str(),
                          list_length(list_of(size)), where, frame.real * 1e3, floor.real * 1e3,
                          frame.real / floor.real, frame.cpu * 1e3, floor.cpu * 1e3, frame.cpu / floor.cpu);
            table << line;
        }
    // Through the groups, beside the full walk of the same list and camera.
    table << "# catalog\tstars\tcamera\tculled_ms\tframe_ms\tfloor_ms\tspeedup\tculled_cpu_ms\tstars_drawn\n";
    for (const std::string& size : sizes)
        for (const char* where : {"home", "out1000", "centre"}) {
            const std::string run = size + "/" + where;
            if (!reporter.seconds.count("culled/" + run) || !reporter.seconds.count("frame/" + run)) continue;
            const summary_reporter::times culled = reporter.seconds["culled/" + run];
            const summary_reporter::times frame = reporter.seconds["frame/" + run];
            const double floor = reporter.seconds.count("floor/" + run) ? reporter.seconds["floor/" + run].real : 0;
            star_groups& groups = groups_for(size);
            groups.draw(view_named(where), draw_context(buffer, lens(), false));             // for its count of stars drawn
            char line[240];
            std::snprintf(line, sizeof line, "# culled\t%s\t%zu\t%s\t%.3f\t%.3f\t%.3f\t%.1f\t%.3f\t%zu\n",
                          size.c_str(), groups.star_count(), where, culled.real * 1e3, frame.real * 1e3,
                          floor * 1e3, frame.real / culled.real, culled.cpu * 1e3, groups.last_drawn());
            table << line;
        }
    // Whole frames on a screen: clear, stars through the groups, copy.
    table << "# screen\tcatalog\tcamera\tscreen\tframe_ms\tfps\tclear_and_copy_ms\n";
    for (const std::string& size : sizes)
        for (const char* where : cameras)
            for (const screen_frame_case& k : screens) {
                const std::string run = "screen/" + size + "/" + where + "/" + screen_name(k);
                if (!reporter.seconds.count(run)) continue;
                const std::string floor_key = "screen_floor/" + screen_name({k.width, k.height, 0});
                const double floor = reporter.seconds.count(floor_key) ? reporter.seconds[floor_key].real : 0;
                const double t = reporter.seconds[run].real;
                char line[240];
                std::snprintf(line, sizeof line, "# screen\t%s\t%s\t%s\t%.3f\t%.1f\t%.3f\n", size.c_str(), where,
                              screen_name(k).c_str(), t * 1e3, 1 / t, floor * 1e3);
                table << line;
            }
    for (const std::string& size : sizes)
        if (groups_of.count(size)) {
            const star_groups& groups = *groups_of[size].groups;
            char line[200];
            std::snprintf(line, sizeof line, "# groups/%s\tbuilt in %.3f s\t%zu groups\t%.2f bytes per star\n",
                          size.c_str(), groups_of[size].seconds, groups.group_count(),
                          (double)groups.bytes() / groups.star_count());
            table << line;
        }
    for (const auto& load : reporter.items_per_second)
        if (load.first.rfind("load/", 0) == 0) table << "# " << load.first << "\t" << (long long)load.second << " lines/s\n";
    std::cout << "\n" << table.str();
    if (!summary_file.empty()) std::ofstream(summary_file) << table.str();
    groups_of.clear();
    lists.clear();                                              // so that leak checkers stay quiet
    return 0;
}
