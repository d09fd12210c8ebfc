/* render-output.h: zelmora-render's WAV output, which replaces or fills its
 * destination only when complete, and its progress line */
#pragma once

#include <glib.h>
#include <sndfile.h>

#include "vorn-file-replace.h"

#include <string>
#include <vector>

/* The WAV output of a render.  The file is written under a temporary name
 * and only a successful commit() puts it in place, so a failed or
 * interrupted render leaves an existing output as it was:
 * - a regular file (or a new one) is replaced as vorn_file_replace_begin()
 *   does: links followed, mode kept;
 * - anything else that can be opened for writing (a FIFO, /dev/null, a
 *   terminal or another device) is never replaced: the finished file, kept
 *   in the temporary directory meanwhile, is copied into it.
 * Integer samples are clipped and rounded here, not by libsndfile, and no
 * time stamp is written, so equal renders give equal files. */
class WavOutput
{
public:
  ~WavOutput () { discard (); }

  /* Creates the temporary file.  @format gives rate, channels and format;
   * @title (nullable) is stored in the file.  FALSE with @problem set (a
   * message naming @output) when @output is a directory, a read-only file or
   * a dangling chain of links, or its directory cannot take a new file. */
  bool open (const char *output, const SF_INFO &format, const char *title, std::string *problem);

  /* Appends @count interleaved frames; integer formats clip to -1..1 and
   * round to the nearest step (NaN is written as 0). */
  bool write (const float *frames, guint count, std::string *problem);

  /* Finishes the file and puts it in place.  FALSE with @problem set when
   * writing fails; a signal during the copy into a FIFO or device ends it
   * with "interrupted". */
  bool commit (std::string *problem);

  /* Closes and unlinks the temporary file, if any. */
  void discard ();

private:
  std::string output_; /* as the user named it, for messages */
  std::string target_; /* the file it names, links followed */
  bool direct_ = false;
  int subtype_ = 0, channels_ = 0;
  VornFileReplace *replace_ = nullptr; /* a regular (or new) file */
  char *path_ = nullptr;               /* a FIFO or device's complete copy */
  int fd_ = -1;                        /* replace_'s or path_'s */
  SNDFILE *file_ = nullptr;
  std::vector<int> ints_;
  std::vector<short> shorts_;

  bool copy_to_target (std::string *problem);
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
