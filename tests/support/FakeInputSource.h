#pragma once

// The engine double's keyboard layout: Latin until a test says otherwise;
// selecting the Latin layout makes it Latin again.
namespace FakeInputSource {
void setLatin(int answer); // what scInputSourceIsLatin answers
int selectCount();         // scSelectLatinInputSource calls so far
} // namespace FakeInputSource
