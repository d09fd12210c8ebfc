/* vorn-test-log.h: GLib log capture shared by every test executable.
 *
 * Criticals and warnings logged while a test runs are recorded instead of
 * printed.  A test claims the ones it provokes with the macros below; any
 * message left unclaimed when the test ends fails that test. */
#pragma once

#include <glib.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vorn_test {

struct LogMessage {
  GLogLevelFlags level;
  std::string message;
};

/* Removes the first recorded message of @level whose text contains @needle.
 * Returns false (and removes nothing) when there is none. */
bool take_message (GLogLevelFlags level, const std::string &needle);

/* Removes and returns every recorded message. */
std::vector<LogMessage> take_all ();

/* Text of a failed g_return_if_fail() precondition on @expr. */
std::string precondition_text (const char *expr);

} // namespace vorn_test

/* A critical "assertion 'EXPR' failed" was logged (messages nobody claims
 * are listed when the test ends). */
#define EXPECT_CRITICAL(expr)                                                  \
  EXPECT_TRUE (vorn_test::take_message (G_LOG_LEVEL_CRITICAL,                  \
                                        vorn_test::precondition_text (expr)))  \
      << "no critical for '" << (expr) << "'"

/* A warning whose text contains TEXT was logged. */
#define EXPECT_WARNING(text)                                                   \
  EXPECT_TRUE (vorn_test::take_message (G_LOG_LEVEL_WARNING, (text)))          \
      << "no warning containing '" << (text) << "'"
