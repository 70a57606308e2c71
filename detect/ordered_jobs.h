// Work on the items of a series by several threads, its results taken in series order.
#pragma once

#include <functional>

// Calls work(worker, i) for every i in 0 .. count - 1, on jobs threads of their own
// (worker 0 .. jobs - 1; one at least, so that with one job take(i) runs beside
// work(0, i + 1); count 1: all on the calling thread), and take(i) on the calling thread
// in order of i, each as soon as work(·, i) has returned and take(i - 1) is done. At most
// 2 × jobs items are started and not yet taken. An exception thrown by work is rethrown
// from here when its item's turn comes, after the remaining work stopped.
void runInOrder(int count, int jobs, const std::function<void(int worker, int i)>& work,
                const std::function<void(int i)>& take);

// The machine's cores (at least 1).
int machineCores();
