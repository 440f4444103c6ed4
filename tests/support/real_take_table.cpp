// Prints, for every run of the real take (or those whose names contain the
// first argument), how far each goal is missed and how far nodes turn beyond
// their source's turn.
#include "real_take.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    const realtake::Take& take = realtake::Walk();
    for (const realtake::Run& run : realtake::Runs())
        if (argc < 2 || std::strstr(run.name.c_str(), argv[1]))
            std::fputs(realtake::Describe(run, realtake::Measure(take, run)).c_str(), stdout), std::fflush(stdout);
    return 0;
}
