// The work each benchmark child process does on its own copy of the database: the
// program's rebuild pass and the two floors it is measured against, plus the set-up and
// the read-back of the result. Each runs in a process of its own (see stock_bench.cpp),
// so none of them shares engine state or memory peaks with another.
#pragma once

#include <string>

namespace bench {

// The rebuild exactly as "Ok" runs it: the window's components and the pass, in `folder`
// (which holds Quorvale.GDB) as the working directory.
void runPass(const std::string& folder);

// The same pass over a client library whose every call is counted and timed; prints the
// calls per product and the share of the run spent inside the library.
void profilePass(const std::string& folder);

// The least client work that still commits once per product, on the client C API.
void runPerProductFloor(const std::string& database);

// The whole rebuild as a few set-based statements in one transaction.
void runSetBasedFloor(const std::string& database);

// Writes the sums of every product and every movement (dates and times aside) as text,
// one row a line, in key order, so two results compare as files.
void writeState(const std::string& database, const std::string& output);

// Creates the sample database, forced writes off (the contenders' copies set their own).
void makeSample(const std::string& database, int products, unsigned seed);
// Creates a database with the four tables and no rows.
void makeEmpty(const std::string& database);
void setForcedWrites(const std::string& database, bool on);

}  // namespace bench
