/* test-value.cpp: JSON conversion of values, configuration save/load and the
 * numeric helpers used by generic property controls */
#include "vornadel.h"
#include "vorn-test-log.h"

#include <cmath>
#include <string>
#include <vector>

namespace {

JsonNode *
parse (const char *json)
{
  return json_from_string (json, nullptr);
}

std::string
to_text (JsonNode *node)
{
  g_autofree char *text = json_to_string (node, FALSE);
  return text;
}

/* Converts @json into a value of @type (G_TYPE_INVALID: automatic typing);
 * error holds the message of a failure, "" on success. */
struct Loaded {
  GValue value = G_VALUE_INIT;
  std::string error;

  Loaded (GType type, const char *json)
  {
    if (type != G_TYPE_INVALID)
      g_value_init (&value, type);
    g_autoptr (JsonNode) node = parse (json);
    g_autoptr (GError) err = nullptr;
    if (!vorn_util_json_to_value (&value, node, &err))
      {
        EXPECT_TRUE (g_error_matches (err, VORN_ERROR, VORN_ERROR_INVALID_DATA));
        error = err->message;
      }
  }
  ~Loaded () { if (G_IS_VALUE (&value)) g_value_unset (&value); }
  const GValue *get () const { return &value; }
  /* The value written back as JSON text ("" when it cannot be). */
  std::string json () const
  {
    g_autoptr (JsonNode) node = vorn_util_value_to_json (&value);
    return node ? to_text (node) : "";
  }
};

constexpr guint TRACE_START = VORN_GEN_TRACE_FLAG_FRAG_START, TRACE_STOP = VORN_GEN_TRACE_FLAG_STOP;

/* ---- JSON conversion ---------------------------------------------------- */

TEST (Value, ConvertsBothWays)
{
  GType attrib = VORN_TYPE_ATTRIB_TYPE, trace = VORN_TYPE_GEN_TRACE_FLAGS;
  gboolean found = FALSE;
  EXPECT_EQ (vorn_util_enum_lookup (attrib, "pitch", &found), VORN_ATTRIB_TYPE_PITCH);
  EXPECT_TRUE (found);
  EXPECT_EQ (vorn_util_enum_lookup (attrib, "Pitch", &found), 0);
  EXPECT_FALSE (found);

  /* Enums load from a nick or a number and are written as nicks; flags from
   * a list of nicks or a number, written as nicks in value order. */
  EXPECT_EQ (g_value_get_enum (Loaded (attrib, "\"volume\"").get ()), VORN_ATTRIB_TYPE_VOLUME);
  EXPECT_EQ (Loaded (attrib, "12").json (), "\"morph\"");
  Loaded both (trace, "[\"stop\",\"frag-start\"]");
  EXPECT_EQ (g_value_get_flags (&both.value), TRACE_START | TRACE_STOP);
  EXPECT_EQ (both.json (), "[\"frag-start\",\"stop\"]");
  EXPECT_EQ (g_value_get_flags (Loaded (trace, "6").get ()), 6u);
  /* Bad elements are skipped, the rest still apply. */
  Loaded partial (trace, "[\"inactive\",\"bogus\",3]");
  EXPECT_EQ (partial.error, "");
  EXPECT_WARNING ("Invalid flags value 'bogus' for flags type 'VornGenTraceFlags' from JSON data");
  EXPECT_WARNING ("Invalid flags value for flags type 'VornGenTraceFlags' from JSON data");
  EXPECT_EQ (g_value_get_flags (&partial.value), guint (VORN_GEN_TRACE_FLAG_INACTIVE));

  /* null is a string's unset value; untyped numbers become 64-bit. */
  Loaded str (G_TYPE_STRING, "null");
  EXPECT_EQ (g_value_get_string (&str.value), nullptr);
  EXPECT_EQ (str.json (), "null");
  Loaded num (G_TYPE_INVALID, "42");
  ASSERT_TRUE (G_VALUE_HOLDS_INT64 (&num.value));
  EXPECT_EQ (g_value_get_int64 (&num.value), 42);
  EXPECT_EQ (Loaded (G_TYPE_CHAR, "-5").json (), "-5");
  EXPECT_EQ (Loaded (G_TYPE_GTYPE, "\"gint\"").json (), "\"gint\"");
}

TEST (Value, ConversionErrors)
{
  GType attrib = VORN_TYPE_ATTRIB_TYPE;
  const struct { GType type; const char *json, *error; } cases[] = {
    { VORN_TYPE_GEN_TRACE_FLAGS, "\"stop\"", "Invalid value for flags type 'VornGenTraceFlags' in JSON data" },
    { attrib, "99", "Invalid value 99 for enum type 'VornAttribType' in JSON data" },
    { attrib, "\"loud\"", "Invalid value 'loud' for enum type 'VornAttribType' in JSON data" },
    { G_TYPE_INT, "null", "Invalid JSON null for value of type 'gint'" },
    { G_TYPE_INVALID, "{}", "Cannot auto deserialize value from JSON JsonObject" },
    { G_TYPE_INT, "[1]", "Invalid JSON data type 'JsonArray' for value of type 'gint'" },
    { G_TYPE_INT, "\"12\"", "Failed to convert JSON data from type 'gchararray' to type 'gint'" },
    { VORN_TYPE_LIST, "1",
      "Unsupported deserialization of value boxed type 'VornList' from JSON type 'Integer'" },
  };
  for (const auto &c : cases)
    EXPECT_EQ (Loaded (c.type, c.json).error, c.error) << c.json;

  g_auto (GValue) p = G_VALUE_INIT;
  g_value_init (&p, G_TYPE_POINTER);
  EXPECT_EQ (vorn_util_value_to_json (&p), nullptr);
  EXPECT_WARNING ("Unsupported serialization of type 'gpointer'");
}

/* ---- configuration ------------------------------------------------------ */

/* The synthesizer's settings are the configuration objects of the engine. */
std::string
config_text (VornSynth *synth)
{
  g_autoptr (JsonObject) json = json_object_new ();
  vorn_util_config_object_save_json (G_OBJECT (synth), json);
  g_autoptr (JsonNode) root = json_node_init_object (json_node_alloc (), json);
  return to_text (root);
}

TEST (Config, SaveAndLoadOnlyWritableConfigProperties)
{
  g_autoptr (VornSynth) synth = vorn_synth_cpu_new ();
  g_object_set (synth, "max-voices", 8u, nullptr);
  EXPECT_EQ (config_text (synth), R"({"sample-rate":48000.0,"max-voices":8,"channel-count":16,)"
                                  R"("speaker-count":2,"audio-format":"single","cores":0,"simd":"Auto"})");

  g_autoptr (JsonNode) root = parse (R"({"nope":1,"cores-current":5,"max-voices":"high",)"
                                     R"("audio-format":"double","simd":"SSE2","channel-count":4})");
  vorn_util_config_object_load_json (G_OBJECT (synth), json_node_get_object (root));
  EXPECT_WARNING ("Ignoring value for non config property 'cores-current' for object of type 'VornSynthCpu'");
  EXPECT_WARNING ("Failed to deserialize property 'max-voices' for object of type 'VornSynthCpu'");
  /* A bad entry keeps the current value. */
  EXPECT_EQ (config_text (synth), R"({"sample-rate":48000.0,"max-voices":8,"channel-count":4,)"
                                  R"("speaker-count":2,"audio-format":"double","cores":0,"simd":"SSE2"})");
}

/* ---- doubles, comparison, ranges --------------------------------------- */

template <typename Get>
double
set_and_get (GType type, double d, Get get)
{
  g_auto (GValue) v = G_VALUE_INIT;
  g_value_init (&v, type);
  EXPECT_TRUE (vorn_util_value_set_double (&v, d));
  return double (get (&v));
}

TEST (Numeric, SetDoubleClampsAndTruncates)
{
  EXPECT_EQ (set_and_get (G_TYPE_UCHAR, 300.7, g_value_get_uchar), 255);
  EXPECT_EQ (set_and_get (G_TYPE_INT, -3.9, g_value_get_int), -3);
  EXPECT_EQ (set_and_get (G_TYPE_INT, NAN, g_value_get_int), G_MAXINT32);
  EXPECT_EQ (set_and_get (G_TYPE_INT64, -1e300, g_value_get_int64), double (G_MININT64));

  Loaded str (G_TYPE_STRING, "\"keep\"");
  EXPECT_FALSE (vorn_util_value_set_double (&str.value, 1.0));
  EXPECT_STREQ (g_value_get_string (&str.value), "keep");
}

/* What the generic property controls read: a value as a double, an order
 * of values and a property's range. */
TEST (Numeric, ReadCompareRangeAndText)
{
  Loaded i (G_TYPE_INT, "3"), d (G_TYPE_DOUBLE, "2.5"), f (VORN_TYPE_GEN_TRACE_FLAGS, "5"),
         a (G_TYPE_STRING, "\"a\""), b (G_TYPE_STRING, "\"b\""), n (G_TYPE_STRING, "null");
  gboolean ok = FALSE;
  EXPECT_EQ (vorn_util_value_get_double (f.get (), &ok), 5.0);
  EXPECT_TRUE (ok);
  EXPECT_EQ (vorn_util_value_get_double (a.get (), &ok), 0.0);
  EXPECT_FALSE (ok);

  const struct { const Loaded &l, &r; int order; } orders[] = {
    { i, d, 1 }, { i, i, 0 }, { a, b, -1 }, { n, a, -1 }, { i, a, -2 },
  };
  for (const auto &o : orders)
    EXPECT_EQ (vorn_util_compare_values (o.l.get (), o.r.get ()), o.order) << &o - orders;

  /* lo, hi, default, is-floating; empty when the type has no range. */
  auto range = [] (GParamSpec *pspec) {
    double lo = -1, hi = -1, def = -1;
    gboolean flt = TRUE;
    g_param_spec_ref_sink (pspec);
    gboolean ok = vorn_util_pspec_double (pspec, &lo, &hi, &def, &flt);
    g_param_spec_unref (pspec);
    return ok ? std::vector<double>{lo, hi, def, double (flt)} : std::vector<double>{};
  };
  using V = std::vector<double>;
  EXPECT_EQ (range (g_param_spec_int ("i", "I", "I", -4, 9, 2, G_PARAM_READWRITE)), (V{-4, 9, 2, 0}));
  /* An enum ranges over its lowest to highest value. */
  EXPECT_EQ (range (g_param_spec_enum ("e", "E", "E", VORN_TYPE_SIMD, VORN_SIMD_AVX, G_PARAM_READWRITE)),
             (V{-1, 3, 1, 0}));
  EXPECT_EQ (range (g_param_spec_string ("s", "S", "S", nullptr, G_PARAM_READWRITE)), V ());
}

} // namespace
