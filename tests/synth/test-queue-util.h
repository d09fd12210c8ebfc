/* test-queue-util.h: test nodes and small master and voice trees */
#pragma once

#include "vornadel.h"
#include "vorn-queue-private.h"
#include "vorn-synth-private.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

namespace queue_test {

/* Render order log (single-threaded tests only; reserve before rendering). */
extern std::vector<VornNode *> *render_log;

/* A node whose generator reads @srcs and writes @dests: every fragment it
 * fills its outputs with @value (dynamic), logs its node when a log is set,
 * and in fragment @stop_at (1-based) stops the voice. */
VornNode *test_node (std::initializer_list<VornAttribType> srcs,
                     std::initializer_list<VornAttribType> dests, double value = 0.0,
                     int stop_at = 0);

/* Appends @child to @parent and returns it (borrowed). */
VornNode *add (VornNode *parent, VornNode *child);

/* The generator of @node in @queue, or NULL. */
VornGen *gen_of (VornQueue *queue, VornNode *node);
std::vector<VornGen *> chain_of (VornQueue *queue);
inline VornAttribVal *out (VornGen *gen, guint j = 0) { return gen->attrib_vals[gen->src_count + j]; }
inline VornAttribVal *in (VornGen *gen, guint i) { return gen->attrib_vals[i]; }

/* A synthesizer with one core and @format. */
VornSynth *new_synth (VornFormat format = VORN_FORMAT_SINGLE, guint speakers = 2);

/* "Speakers", a pitch control, @points attach points with a channel pitch
 * control each and a post-attach speakers reader; its speakers feed the synth. */
struct Master {
  VornNode *root;
  VornNode *speakers, *main_pitch, *post;
  std::vector<VornNode *> points, channel;
  VornQueue *queue;
  VornSynth *synth;
  Master (VornSynth *synth, int points);
  ~Master ();
  double speaker (guint k, int i = 0) const;
};

/* A mix root writing @value to the speakers over a signal writer stopping in fragment @stop_at. */
VornQueue *new_voice (VornSynth *synth, double value, int stop_at = 0);

} // namespace queue_test
