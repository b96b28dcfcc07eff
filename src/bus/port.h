// Controller ports: opening a controller (a device in raw non-blocking mode,
// or a network controller), each controller's run-time state, writing lines,
// addressing an instrument only when the address on its controller changes,
// and the bus lock that keeps the display, the console and the clean-up from
// talking to the controllers at the same time.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "config/records.h"

// What the bus knows of a controller while the program runs.
struct GpibCtl {
    FILE* stream = nullptr; // null while closed or lost
    int32_t addr = 999;     // address last selected; 999 until the first use
    char path[256] = "";    // opened from, kept to reopen a lost controller
    bool lost = false;      // closed as failed, and not back yet
    timespec retryAt{};
    bool fenceOpen = false; // a fence sent and not answered yet (bus/stale.h)
};

// Written by the main thread while it opens the controllers, before the
// display thread starts; after that written and read only by the thread
// that holds busMutex (display, main or signal thread).
extern GpibCtl gpibCtl[kControllers];

// Set once the clean-up takes over the bus: loops that could run for ever
// (the init sequence's waits and drains) give up, and nothing but the off
// sequence is sent any more. Written by the thread that runs the clean-up
// (main or signal thread); read by every thread.
extern std::atomic<int> busStopping;

// Held for every exchange with a controller, by any thread.
extern std::mutex busMutex;
using BusLock = std::lock_guard<std::mutex>;

// Opens controller dev (0 or 1) from path; returns 1, or 0 with errno set
// when it cannot be opened or connected to, another program holds its lock,
// or the path is too long to keep.
int gpibOpen(int dev, const char* path);

// Puts back the terminal settings controller dev's port had when it was
// opened (a network controller has none). Call with the bus held, before
// gpibClose.
void gpibRestore(int dev);

// Closes controller dev; it is not reopened. Call with the bus held.
void gpibClose(int dev);

// A controller whose device failed (unplugged: a hang-up, EIO, ENXIO,
// ENODEV; on the network: closed, reset or timed out by the peer) is closed,
// its readings fail, and gpibReconnect opens its path, or connects, again.
// Call both with the bus held.
void gpibLost(int dev);
// Times each controller was lost, for the metrics: counted by the thread
// that holds busMutex, read by the metrics' writer (display or clean-up).
extern std::atomic<uint32_t> gpibLosses[kControllers];
// Tries, at most once a second per controller (or at once with now set), to
// reopen lost controllers. A reopened one gets its "++" init lines again and
// is addressed afresh on its next use.
void gpibReconnect(bool now = false);
// True while controller dev is lost and not back.
bool gpibIsLost(int dev);
// True when errno after a failed read or write means the controller is gone.
bool gpibGone(int err);

// Writes a, b and a line feed to controller dev and pushes them to the
// device; returns the characters written, or -1 when the controller is
// closed, the line is too long to send whole or the device did not take it
// whole in time (the controller is then lost:
// nothing of the line reaches an instrument).
int gpibPuts(int dev, const char* a, const char* b = "");

// Sends the addressing line when the instrument's controller has another
// address selected; returns nonzero when it can be taken as selected.
int setDevAddr(const GpibAt& at);

// Writes controller dev's read command, when it has one.
void gpibSendRead(int dev);
