#pragma once

#include <memory>

// Tells the installer and the uninstaller that a program of this installation runs, for as
// long as the object lives, so that they do not replace or remove files in use. On Windows
// it holds a named mutex of the build's name, which the installer looks for
// (runningprogrammark_windows.cpp); elsewhere no installer asks, and it holds nothing.
class RunningProgramMark
{
public:
    RunningProgramMark();
    ~RunningProgramMark();

    RunningProgramMark(const RunningProgramMark&) = delete;
    RunningProgramMark& operator=(const RunningProgramMark&) = delete;

private:
    struct Handles; // the system's own, in runningprogrammark_*.cpp
    std::unique_ptr<Handles> m_handles;
};
