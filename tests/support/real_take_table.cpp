// Prints, for every run of the real take (or those whose names contain the
// first argument), how far each goal is missed and how far nodes turn beyond
// their source's turn. With a second argument, the misses frame by frame
// too, one line a frame.
#include "real_take.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    const realtake::Take& take = realtake::Walk();
    for (const realtake::Run& run : realtake::Runs())
        if (argc < 2 || std::strstr(run.name.c_str(), argv[1])) {
            const realtake::Result result = realtake::Measure(take, run);
            std::fputs(realtake::Describe(run, result).c_str(), stdout);
            for (std::size_t f = 0; argc > 2 && f < std::size_t(result.frames); ++f) {
                std::printf("%zu", f);
                for (const realtake::Miss& m : result.misses)
                    std::printf(" %.3f", double(m.frames[f]));
                std::printf("\n");
            }
            std::fflush(stdout);
        }
    return 0;
}
