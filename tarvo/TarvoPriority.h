// Real-time scheduling for the thread that runs the period loop.
#pragma once

// Moves the calling thread to SCHED_FIFO at the lowest real-time priority, or raises a FIFO/RR
// thread by one step up to the maximum. Not root: writes "WARNING: <name> has not been run as
// root so thread priority will not be changed to realtime." to stderr and changes nothing
// (a null name reads "The application"). A refused change writes an "ERROR: ..." line.
void setTarvoPriority(const char* name);
// Counterpart of setTarvoPriority when the loop ends; restores nothing.
void cleanupTarvoPriority();
