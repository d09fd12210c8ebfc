/* tool-instruments.h: choosing instruments of a file by name or index */
#pragma once

#include <string>
#include <vector>

#include "vornadel.h"

/* The instruments of @file, in file order. */
std::vector<VornInst *> tool_file_instruments (VornFile *file);

/* The instrument of @insts named @wanted or, failing that, at index
 * @wanted.  Returns NULL when there is none, with @available set to the
 * list a user can choose from ("0 "Pad", 1 "Organ""). */
VornInst *tool_find_instrument (const std::vector<VornInst *> &insts, const char *wanted,
                                std::string *available);
