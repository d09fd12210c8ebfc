/* render-output.h: zelmora-render's WAV output, which replaces its
 * destination only when complete, and its progress line */
#pragma once

#include <glib.h>
#include <sndfile.h>

#include <string>

/* A WAV file written under a temporary name in the destination's directory
 * and renamed over the destination by commit(); discarded (the temporary
 * unlinked) by discard() or destruction otherwise, so a failed render never
 * leaves a partial file or touches an existing one. */
class TempWav
{
public:
  ~TempWav () { discard (); }

  /* Creates the temporary file.  @format gives rate, channels and format;
   * @title (nullable) is stored in the file.  FALSE with @problem set when
   * @output's directory cannot take a new file or @output is a directory. */
  bool open (const char *output, const SF_INFO &format, const char *title, std::string *problem);

  /* Appends @count interleaved frames (clipped for integer formats). */
  bool write (const float *frames, guint count, std::string *problem);

  /* Finishes the file, flushes it to disk and renames it to @output. */
  bool commit (const char *output, std::string *problem);

  /* Closes and unlinks the temporary file, if any. */
  void discard ();

private:
  char *path_ = nullptr;
  int fd_ = -1;
  SNDFILE *file_ = nullptr;
};

/* One line on a terminal's stderr, redrawn at most ten times a second, that
 * appears once more than a second of audio has been rendered: progress
 * towards the last note-off (@notes_end), then the release tail. */
class Progress
{
public:
  Progress (bool enabled, double rate, guint64 notes_end)
      : enabled_ (enabled), rate_ (rate), notes_end_ (notes_end)
  {
  }

  void update (guint64 pos);

  /* Clears the line. */
  void finish ();

private:
  bool enabled_;
  bool shown_ = false;
  double rate_;
  guint64 notes_end_;
  gint64 last_ = 0;
};
