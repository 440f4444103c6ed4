// Prints, for every run of the real take (or those whose names contain the
// first argument), how far each goal is missed, the lowest contact corner and
// how far nodes turn beyond their source's turn. With a second argument, every
// frame too, one line a frame: the frame, each goal's miss, the lowest contact
// corner of each hand and foot, then node:degrees for each node turning within
// 2 degrees of its bound or beyond it, then node:degrees for each node turning
// more than 10 degrees beyond its source node's turn.
#include "real_take.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    for (const realtake::Run& run : realtake::Runs())
        if (argc < 2 || std::strstr(run.name.c_str(), argv[1])) {
            const realtake::Result result = realtake::Measure(realtake::Named(run.take), run, argc > 2);
            std::fputs(realtake::Describe(run, result).c_str(), stdout);
            if (argc > 2) {
                std::printf("nodes");
                for (std::size_t id = 1; id < result.beyond.size(); ++id)
                    if (result.beyondFrame[id] >= 0)
                        std::printf(" %zu:%.1f/%.1f", id, result.beyond[id], result.over[id]);
                std::printf("\n");
            }
            for (std::size_t f = 0; argc > 2 && f < std::size_t(result.frames); ++f) {
                std::printf("%zu", f);
                for (const realtake::Miss& m : result.misses)
                    std::printf(" %.3f", double(m.frames[f]));
                std::printf(" |");
                for (const float low : result.corners[f])
                    std::printf(" %.3f", double(low));
                std::printf(" |");
                for (const auto& turn : result.turns[f])
                    std::printf(" %d:%.1f", turn.first, double(turn.second));
                std::printf(" |");
                for (const auto& over : result.overs[f])
                    std::printf(" %d:%.1f", over.first, double(over.second));
                std::printf("\n");
            }
            std::fflush(stdout);
        }
    return 0;
}
