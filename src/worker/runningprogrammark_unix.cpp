#include "runningprogrammark.h"

struct RunningProgramMark::Handles
{};

RunningProgramMark::RunningProgramMark() = default;

RunningProgramMark::~RunningProgramMark() = default;
