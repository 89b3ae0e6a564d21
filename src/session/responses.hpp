// ZULRESPONSES=FILE: answers by the name of their question. Where FILE does
// not exist, the run asks as usual and records each answer in it under a
// stable key of its question ("mount-point", "install-directory",
// "create-directory", "product", "packages " and the category's title,
// "confirm", "load-anyway", "restart", "list-files", "quit"), the last
// answer of each, with the medium's title ("medium"). Where it exists, the
// answers come from it by key and nothing is read from standard input: a
// question a run asks or skips where another did not takes no answer meant
// for another. One "key=value" a line; lines that begin with "#", and blank
// ones, are passed over.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "messages/messagenumber.hpp"

// At start-up: replays FILE where it exists (strict answers then: a refused
// answer ends the run), else records into it (made anew, mode 0600, never
// through a link). A file that cannot be read or made ends the run with a
// line on standard error (status 2).
void UseResponses(const std::string& file);

bool ReplayingResponses();

// The category whose package question comes next.
void NameCategory(std::string_view title);

// The key of the question `prompt`.
std::string ResponseKey(Msg prompt);

// Replaying: the answer recorded under `key`; a key the file lacks ends the
// run (status 2) with a line naming it.
std::string ResponseFor(const std::string& key);

// Recording: `answer` is the answer of `key` (the last one counts).
void RecordResponse(const std::string& key, const std::string& answer);

// The title line of the medium: recorded, or, replaying, compared with the
// recorded one (another ends the run, status 2).
void MediumTitle(std::string_view title);

// Replaying: a refused answer, said with its key (status 2).
[[noreturn]] void RefusedResponse(const std::string& key, std::string_view what);
