// What a run tells the script that started it (scripts/wine-run), a line at
// a time, so that a run ended from outside without a word of its own (a
// kill) still has its files kept by the run's own rule. The ledger is the
// file that KELVO_RUN_LEDGER names (a Unix path); without it nothing is
// written. Lines are fields separated by tabs:
//
//   listening                 stop requests are heard from now on
//   heard    WHAT             a stop was requested ("Ctrl-C (interrupt)")
//   begun    TEMP UNIXTEMP UNIXNAME   an output file is being written
//   whole    TEMP BYTES FRAMES        its first BYTES hold FRAMES whole frames
//   done     TEMP             the run has given it its name, kept or removed it
//
// TEMP is the temporary file's name as the run uses it; UNIXTEMP and
// UNIXNAME are where the file and the name it is to take are on the Unix
// side.
#pragma once

#include <cstdint>
#include <string>

// Whether this run keeps a ledger; callers skip gathering what it would say.
bool LedgerKept();

void LedgerLine(const std::string& line);

void LedgerFileBegun(const std::string& temporary, const std::string& path);
void LedgerWholeFrames(const std::string& temporary, int64_t bytes, int64_t frames);
void LedgerFileDone(const std::string& temporary);
