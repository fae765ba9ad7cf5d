// Starts a program found on PATH, detached: never waited for, never left as a zombie.
#pragma once

#include <string>
#include <vector>

// argv[0] is looked up on PATH (the current folder is never searched). Returns whether the
// program started; process starts are serialised by one program-wide lock.
bool start_detached(const std::vector<std::string>& argv);
