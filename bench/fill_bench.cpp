// What filling the buffered image list costs beyond its fresh memory. In one process, ROUNDS
// times, alternating: (a) the viewer's `-b N -noinfo` start on FILE (the command line, the
// image list, FillImageList with its GetFileImage and AllocImageArray), and (b) as many
// arrays of the same sizes taken through the same allocator (AllocZeroedPages, populated as
// the fill's are) and written once a page: the fresh memory alone. Prints the wall time and
// the CPU time (user, system: getrusage) of each, their difference per round, then min,
// median and max. A first fill, not counted, takes the process's first memory from the host.
// PAUSE seconds before each part let the host take back the pages freed by the part before
// (free page reporting waits 2 s); with 0, each part gets the memory freed just before.
//
//   fill_bench FILE [ROUNDS=5] [PAUSE=0] [N=100]
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/headless/headless_control.h"
#include "platform/memory.h"
#include "playback/image_list.h"
#include "shell/command_line.h"
#include "shell/viewer_state.h"

namespace {

struct Times {
    double wall = 0, user = 0, sys = 0;  // seconds
};

struct Clock {
    std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
    rusage start = Usage();
    static rusage Usage() {
        rusage u{};
        getrusage(RUSAGE_SELF, &u);
        return u;
    }
    static double Seconds(const timeval& a, const timeval& b) {
        return static_cast<double>(b.tv_sec - a.tv_sec) + (b.tv_usec - a.tv_usec) * 1e-6;
    }
    Times Elapsed() const {
        const rusage end = Usage();
        return {std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count(),
                Seconds(start.ru_utime, end.ru_utime), Seconds(start.ru_stime, end.ru_stime)};
    }
};

// The viewer's buffered start, up to the first frame: returns its time and the arrays the
// fill took, then frees everything.
Times Fill(const std::string& path, const std::string& count, std::vector<size_t>& arrays) {
    State = ViewerState{};
    InitDefaults();
    const char* argv[] = {"kinaro", "-b", count.c_str(), "-noinfo", path.c_str()};
    const Clock clock;
    ParseCommandLine(5, const_cast<char**>(argv));
    State.ImageList = static_cast<Image*>(std::calloc(State.MaxFrames, sizeof(Image)));
    State.MetafileStream = std::fopen(path.c_str(), "rb");
    if (State.ImageList == nullptr || State.MetafileStream == nullptr) std::exit(2);
    InitImage(State.DisplayImage);
    State.TotalImages = static_cast<uint32_t>(
        FillImageList(State.ImageList, static_cast<int32_t>(State.BufferCount)));
    const Times t = clock.Elapsed();
    arrays.clear();
    for (uint32_t i = 0; i <= State.TotalImages; ++i)
        arrays.push_back(State.ImageList[i].PixelsSize);
    std::fclose(State.MetafileStream);
    State.MetafileStream = nullptr;
    FreeStateArrays();
    return t;
}

// The same arrays, fresh from the allocator and written once a page, as decoding writes them.
// Populated at once, as AllocImageArray takes an array whose file has at least 1/64 of its
// size left to read (every frame of a file of busy frames).
Times Fresh(const std::vector<size_t>& arrays) {
    const Clock clock;
    std::vector<uint8_t*> blocks;
    for (size_t bytes : arrays) {
        uint8_t* block = AllocZeroedPages(bytes, PagePresence::AllAtOnce);
        if (block == nullptr) std::exit(2);
        for (size_t at = 0; at < bytes; at += 4096) block[at] = 1;
        block[bytes - 1] = 1;
        blocks.push_back(block);
    }
    const Times t = clock.Elapsed();
    for (size_t i = 0; i < arrays.size(); ++i) FreeZeroedPages(blocks[i], arrays[i]);
    return t;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void PrintSummary(const char* name, const std::vector<double>& v) {
    printf("%-22s min %.3f  median %.3f  max %.3f\n", name, *std::min_element(v.begin(), v.end()),
           Median(v), *std::max_element(v.begin(), v.end()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 5) {
        fprintf(stderr, "usage: fill_bench FILE [ROUNDS=5] [PAUSE=0] [N=100]\n");
        return 2;
    }
    const std::string path = argv[1];
    const int rounds = argc > 2 ? atoi(argv[2]) : 5;
    const unsigned pause = argc > 3 ? static_cast<unsigned>(atoi(argv[3])) : 0;
    const std::string count = argc > 4 ? argv[4] : "100";
    Headless().Quiet = true;
    std::vector<size_t> arrays;
    std::vector<double> fillWall, freshWall, wallGap, cpuGap;
    // Round 0, not counted: the process's first memory comes from the host in every case, and
    // it gives the sizes of the arrays.
    const Times first = Fill(path, count, arrays);
    printf("round 0 (not counted): fill %.3f s, %zu arrays\n", first.wall, arrays.size());
    printf("round  fill: wall user  sys   fresh: wall user  sys   fill-fresh: wall  cpu (s)\n");
    for (int round = 1; round <= rounds; ++round) {
        sleep(pause);
        const Times fill = Fill(path, count, arrays);
        sleep(pause);
        const Times fresh = Fresh(arrays);
        const double cpu = (fill.user + fill.sys) - (fresh.user + fresh.sys);
        printf("%5d  %10.3f %.3f %.3f  %11.3f %.3f %.3f  %16.3f %.3f  (%zu arrays)\n", round,
               fill.wall, fill.user, fill.sys, fresh.wall, fresh.user, fresh.sys,
               fill.wall - fresh.wall, cpu, arrays.size());
        fillWall.push_back(fill.wall);
        freshWall.push_back(fresh.wall);
        wallGap.push_back(fill.wall - fresh.wall);
        cpuGap.push_back(cpu);
    }
    PrintSummary("fill wall", fillWall);
    PrintSummary("fresh wall", freshWall);
    PrintSummary("fill-fresh wall", wallGap);
    PrintSummary("fill-fresh cpu", cpuGap);
    return 0;
}
