/* render-midi.h: the note events that zelmora-render plays, from --note
 * options and from Standard MIDI Files */
#pragma once

#include <glib.h>

#include <vector>

/* Longest time, in seconds, that a note position may name: far beyond any
 * WAV file, yet small enough that frame positions never overflow. */
#define RENDER_MAX_SECONDS 1e7

/* One note-on or note-off at an exact frame of the output.  The synthesizer
 * identifies a sounding note by its key (device, source, channel, note), so
 * a note-off ends the voice its matching note-on started. */
struct RenderEvent
{
  guint64 frame;
  guint source; /* source id of the note key */
  guint8 chan;  /* synthesizer channel, 0..15 */
  guint8 note;
  guint8 velocity;
  bool on;
  bool midi; /* from the MIDI file, which plays as its own input device */
};

/**
 * render_parse_note:
 * @spec: "NOTE[:START[:LENGTH[:VELOCITY]]]": MIDI note 0..127, start and
 *   length in seconds (defaults 0 and 1), velocity 1..127 (default 100);
 *   empty fields take their defaults
 * @source: source id of the note's key; every --note has its own, so that
 *   overlapping notes of one pitch each end at their own note-off
 * @rate: sample rate in Hz
 * @events: receives the note-on and the note-off, on channel 0
 * @error: return location for a G_OPTION_ERROR_BAD_VALUE error
 *
 * Returns: FALSE with @error set when a field is malformed or out of range.
 */
gboolean render_parse_note (const char *spec, guint source, double rate,
                            std::vector<RenderEvent> &events, GError **error);

/**
 * render_read_midi:
 * @path: a Standard MIDI File
 * @channel: 1..16 to take the notes of that MIDI channel only, 0 for all
 * @rate: sample rate in Hz
 * @events: receives the file's note-ons and note-offs (MIDI channel c plays
 *   on synthesizer channel c - 1), in file order; notes still held at the
 *   end of the file are released there
 * @error: return location for an error
 *
 * Event times come from the library's tempo map, so tempo changes are
 * honoured.  A note-on with velocity 0 is a note-off.  Only channel
 * messages, tempo and time signatures are read (the library is given a
 * copy holding nothing else); format 2 files and SMPTE time division are
 * refused.
 *
 * Returns: FALSE with @error set when the file cannot be read or parsed.
 */
gboolean render_read_midi (const char *path, int channel, double rate,
                           std::vector<RenderEvent> &events, GError **error);
