/* render-midi.h: the note events that zelmora-render plays, from --note
 * options and from Standard MIDI Files */
#pragma once

#include <glib.h>

#include <vector>

/* Longest time, in seconds, that a note position may name: far beyond any
 * WAV file, yet small enough that frame positions never overflow. */
#define RENDER_MAX_SECONDS 1e7

/* Largest MIDI file read, in bytes: far beyond any real song (a few hundred
 * kilobytes at most), small enough to hold in memory. */
#define RENDER_MIDI_MAX_SIZE (16 << 20)

/* One note-on or note-off at an exact frame of the output.  The synthesizer
 * identifies a sounding note by its key (device, source, channel, note), so
 * a note-off ends the voice its matching note-on started: every note has a
 * source of its own, and a note-off names the source of the note it ends. */
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
 * render_parse_midi:
 * @data: the bytes of a Standard MIDI File
 * @size: their length
 * @name: the file's name, for messages
 * @channel: 1..16 to take the notes of that MIDI channel only, 0 for all
 * @rate: sample rate in Hz
 * @events: receives the file's note-ons and note-offs (MIDI channel c plays
 *   on synthesizer channel c - 1), in time order; notes still held at the
 *   end of the file are released there
 * @error: return location for a G_FILE_ERROR_INVAL error
 *
 * Event times come from the library's tempo map, so tempo changes are
 * honoured.  A note-on with velocity 0 is a note-off.  A pitch struck again
 * on its channel before its note-off sounds as a second note, and note-offs
 * end the notes of their pitch in the order they started, as a sequencer
 * pairs them; a note-off with no note to end is dropped.  Only channel
 * messages, tempo and time signatures are read (the library is given a
 * copy holding nothing else); format 2 files and SMPTE time division are
 * refused.
 *
 * Returns: FALSE with @error set when the data is not a MIDI file this
 * reader plays.
 */
gboolean render_parse_midi (const guint8 *data, gsize size, const char *name, int channel, double rate,
                            std::vector<RenderEvent> &events, GError **error);

/**
 * render_read_midi:
 * @path: a Standard MIDI File
 * @channel, @rate, @events: as for render_parse_midi()
 * @error: return location for an error
 *
 * Reads @path, a regular file of at most RENDER_MIDI_MAX_SIZE bytes (other
 * files are refused before anything is read), and parses it with
 * render_parse_midi().
 *
 * Returns: FALSE with @error set when the file cannot be read or parsed.
 */
gboolean render_read_midi (const char *path, int channel, double rate,
                           std::vector<RenderEvent> &events, GError **error);
