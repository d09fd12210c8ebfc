/* vorn-test-log.cpp: log capture and the main() of every test executable */
#include "vorn-test-log.h"

#include "vornadel.h"

#include <mutex>

namespace vorn_test {
namespace {

std::mutex log_mutex;
std::vector<LogMessage> log_pending;

GLogWriterOutput
capture_writer (GLogLevelFlags level, const GLogField *fields, gsize n_fields,
                gpointer)
{
  if (!(level & (G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING)))
    return G_LOG_WRITER_HANDLED;   /* messages, info and debug are noise here */

  std::string text;
  for (gsize i = 0; i < n_fields; i++)
    if (g_strcmp0 (fields[i].key, "MESSAGE") == 0)
      {
        if (fields[i].length < 0)
          text = static_cast<const char *> (fields[i].value);
        else
          text.assign (static_cast<const char *> (fields[i].value),
                       gsize (fields[i].length));
      }

  if (level & G_LOG_LEVEL_ERROR)
    return g_log_writer_standard_streams (level, fields, n_fields, nullptr);

  std::lock_guard<std::mutex> lock (log_mutex);
  log_pending.push_back ({GLogLevelFlags (level & G_LOG_LEVEL_MASK), text});
  return G_LOG_WRITER_HANDLED;
}

/* Fails the current test when it leaves messages nobody expected. */
class UnclaimedLogListener : public ::testing::EmptyTestEventListener
{
  void OnTestEnd (const ::testing::TestInfo &) override
  {
    auto left = take_all ();
    for (const auto &m : left)
      ADD_FAILURE () << "unexpected "
                     << (m.level & G_LOG_LEVEL_CRITICAL ? "critical" : "warning")
                     << ": " << m.message;
  }
};

} // namespace

bool
take_message (GLogLevelFlags level, const std::string &needle)
{
  std::lock_guard<std::mutex> lock (log_mutex);
  for (auto it = log_pending.begin (); it != log_pending.end (); ++it)
    if ((it->level & level) && it->message.find (needle) != std::string::npos)
      {
        log_pending.erase (it);
        return true;
      }
  return false;
}

std::vector<LogMessage>
take_all ()
{
  std::lock_guard<std::mutex> lock (log_mutex);
  std::vector<LogMessage> out;
  out.swap (log_pending);
  return out;
}

std::string
precondition_text (const char *expr)
{
  return std::string ("assertion '") + expr + "' failed";
}

} // namespace vorn_test

int
main (int argc, char **argv)
{
  g_log_set_writer_func (vorn_test::capture_writer, nullptr, nullptr);
  vorn_init ("Zelmora 0.9.0");
  ::testing::InitGoogleTest (&argc, argv);
  ::testing::UnitTest::GetInstance ()->listeners ().Append (
      new vorn_test::UnclaimedLogListener);
  return RUN_ALL_TESTS ();
}
