#include "tests/support/FakeInputSource.h"

#include "Screencast.h"

#include <atomic>

namespace {
std::atomic<int> g_latin{1};
std::atomic<int> g_selects{0};
} // namespace

void FakeInputSource::setLatin(int answer) { g_latin = answer; }
int FakeInputSource::selectCount() { return g_selects; }

int scInputSourceIsLatin() { return g_latin; }

int scSelectLatinInputSource()
{
    ++g_selects;
    g_latin = 1;
    return 0;
}
