/* zelm-value-text.cpp: numbers as the user reads and types them.
 *
 * Formatting keeps a few significant digits and picks the readable multiple
 * of the unit (kHz, ms); parsing takes a number, a metric prefix and a unit
 * word, converts what converts (dB to a gain, a time to a rate) and says in
 * one sentence why anything else is refused. */
#include "zelm-value-text.h"

#include "vornadel.h"

#include <cmath>
#include <cstring>
#include <string>

/* ---- formatting ---------------------------------------------------------- */

/* @v with @digits significant digits, trailing zeros dropped; exponent form
 * only where fixed decimals would be unreadable. */
static std::string
number_text (double v, int digits, gboolean integer)
{
  char buf[G_ASCII_DTOSTR_BUF_SIZE + 32];
  if (std::isnan (v))
    return "NaN";
  if (std::isinf (v))
    return v > 0 ? "∞" : "-∞";
  if (integer)
    {
      g_snprintf (buf, sizeof buf, "%.0f", v);
      return buf;
    }
  const double a = std::fabs (v);
  if (a != 0 && (a >= 1e9 || a < 1e-5))
    {
      /* "1.5e+12" reads better as "1.5e12". */
      g_snprintf (buf, sizeof buf, "%.*e", digits - 1, v);
      char *e = strchr (buf, 'e');
      std::string mant (buf, e - buf);
      if (mant.find ('.') != std::string::npos)
        {
          mant.erase (mant.find_last_not_of ('0') + 1);
          if (mant.back () == '.')
            mant.pop_back ();
        }
      return mant + "e" + std::to_string (atoi (e + 1));
    }
  const int mag = a == 0 ? 0 : int (std::floor (std::log10 (a)));
  const int decimals = CLAMP (digits - 1 - mag, 0, 12);
  g_snprintf (buf, sizeof buf, "%.*f", decimals, v);
  std::string s = buf;
  if (s.find ('.') != std::string::npos)
    {
      s.erase (s.find_last_not_of ('0') + 1);
      if (s.back () == '.')
        s.pop_back ();
    }
  if (s == "-0")
    s = "0";
  return s;
}

/* A level in dB: at most two decimals, fewer for large levels. */
static std::string
db_text (double db, int digits)
{
  if (std::isinf (db))
    return db < 0 ? "-∞ dB" : "∞ dB";
  const double a = std::fabs (db);
  const int mag = a < 1 ? 0 : int (std::floor (std::log10 (a)));
  const int decimals = digits > 4 ? digits - 1 - mag : CLAMP (digits - 2 - mag, 0, 2);
  return number_text (db, mag + 1 + MAX (decimals, 0), FALSE) + " dB";
}

char *
zelm_value_text_format (double value, ZelmValueUnit unit, gboolean integer, int digits)
{
  digits = MAX (digits, 1);
  const double a = std::fabs (value);
  const bool finite = std::isfinite (value);
  std::string s;
  switch (unit)
    {
    case ZELM_VALUE_UNIT_HZ:
      if (finite && a >= 1e6)
        s = number_text (value / 1e6, digits, FALSE) + " MHz";
      else if (finite && a >= 1e3)
        s = number_text (value / 1e3, digits, FALSE) + " kHz";
      else
        s = number_text (value, digits, integer) + " Hz";
      break;
    case ZELM_VALUE_UNIT_SECONDS:
      if (finite && a != 0 && a < 1)
        s = number_text (value * 1e3, digits, FALSE) + " ms";
      else
        s = number_text (value, digits, integer) + " s";
      break;
    case ZELM_VALUE_UNIT_DB:
      s = db_text (value, digits);
      break;
    case ZELM_VALUE_UNIT_GAIN:
      /* Only a positive gain has a level; zero and inverted gains stay
       * factors. */
      s = value > 0 ? db_text (20 * std::log10 (value), digits)
                    : number_text (value, digits, FALSE);
      break;
    case ZELM_VALUE_UNIT_SEMITONES:
      s = number_text (value, digits, integer) + " st";
      break;
    case ZELM_VALUE_UNIT_NONE:
    case ZELM_VALUE_UNIT_FACTOR:
    default:
      s = number_text (value, digits, integer);
      break;
    }
  return g_strdup (s.c_str ());
}

/* ---- parsing ------------------------------------------------------------- */

namespace {

/* What a unit word measures. */
enum class Kind { BARE, HZ, SECONDS, DB, SEMITONES, OCTAVES, TIMES, PERCENT, UNKNOWN };

struct Word {
  const char *text;
  Kind kind;
};

/* Unit words, matched ignoring case after an optional metric prefix. */
const Word unit_words[] = {
  { "hz", Kind::HZ },          { "s", Kind::SECONDS },       { "sec", Kind::SECONDS },
  { "db", Kind::DB },          { "st", Kind::SEMITONES },    { "semi", Kind::SEMITONES },
  { "semitone", Kind::SEMITONES }, { "semitones", Kind::SEMITONES }, { "oct", Kind::OCTAVES },
  { "octave", Kind::OCTAVES }, { "octaves", Kind::OCTAVES }, { "x", Kind::TIMES },
  { "×", Kind::TIMES },        { "%", Kind::PERCENT },
};

Kind
word_kind (const std::string &w)
{
  for (const Word &u : unit_words)
    if (g_ascii_strcasecmp (w.c_str (), u.text) == 0)
      return u.kind;
  return Kind::UNKNOWN;
}

/* The metric prefix starting @s, or 0 for none; "m" is milli and "M" mega,
 * "k" and "K" both kilo. */
double
prefix_factor (const char *s, size_t *len)
{
  *len = 1;
  switch (s[0])
    {
    case 'k':
    case 'K':
      return 1e3;
    case 'M':
      return 1e6;
    case 'G':
      return 1e9;
    case 'm':
      return 1e-3;
    case 'u':
      return 1e-6;
    default:
      break;
    }
  if (g_str_has_prefix (s, "µ"))
    {
      *len = strlen ("µ");
      return 1e-6;
    }
  *len = 0;
  return 0;
}

const char *
unit_name (ZelmValueUnit unit)
{
  switch (unit)
    {
    case ZELM_VALUE_UNIT_HZ:
      return "a frequency in Hz";
    case ZELM_VALUE_UNIT_SECONDS:
      return "a time in seconds";
    case ZELM_VALUE_UNIT_DB:
    case ZELM_VALUE_UNIT_GAIN:
      return "a level in dB";
    case ZELM_VALUE_UNIT_SEMITONES:
      return "an interval in semitones";
    case ZELM_VALUE_UNIT_FACTOR:
      return "a plain factor";
    case ZELM_VALUE_UNIT_NONE:
    default:
      return "a plain number";
    }
}

gboolean
fail (char **error, char *message)
{
  if (error)
    *error = message;
  else
    g_free (message);
  return FALSE;
}

/* @n (already scaled by its prefix) given in @kind, converted into @unit;
 * FALSE when the two do not meet. */
bool
convert (double n, Kind kind, ZelmValueUnit unit, double *out)
{
  switch (kind)
    {
    case Kind::BARE:
      *out = n;
      return true;
    case Kind::HZ:
      *out = n;
      return unit == ZELM_VALUE_UNIT_HZ;
    case Kind::SECONDS:
      if (unit == ZELM_VALUE_UNIT_SECONDS)
        *out = n;
      else if (unit == ZELM_VALUE_UNIT_HZ && n != 0)
        *out = 1 / n; /* a period gives its rate */
      else
        return false;
      return true;
    case Kind::DB:
      if (unit == ZELM_VALUE_UNIT_DB)
        *out = n;
      else if (unit == ZELM_VALUE_UNIT_GAIN)
        *out = std::pow (10.0, n / 20);
      else
        return false;
      return true;
    case Kind::SEMITONES:
      *out = n;
      return unit == ZELM_VALUE_UNIT_SEMITONES;
    case Kind::OCTAVES:
      *out = 12 * n;
      return unit == ZELM_VALUE_UNIT_SEMITONES;
    case Kind::TIMES:
      *out = n;
      return unit == ZELM_VALUE_UNIT_FACTOR || unit == ZELM_VALUE_UNIT_GAIN;
    case Kind::PERCENT:
      *out = n / 100;
      return unit == ZELM_VALUE_UNIT_FACTOR || unit == ZELM_VALUE_UNIT_GAIN;
    default:
      return false;
    }
}

} // namespace

gboolean
zelm_value_text_parse (const char *text, ZelmValueUnit unit, gboolean integer, double min,
                       double max, double *value, char **error)
{
  g_return_val_if_fail (text != nullptr && value != nullptr, FALSE);

  g_autofree char *t = g_strstrip (g_strdup (text));
  if (!*t)
    return fail (error, g_strdup ("Type a number."));

  /* The number: g_ascii_strtod alone would also take hex, "nan" and "inf". */
  const char *p = t;
  if (*p == '+' || *p == '-')
    p++;
  if (!g_ascii_isdigit (*p) && !(*p == '.' && g_ascii_isdigit (p[1])))
    return fail (error, g_strdup_printf ("“%s” is not a number.", t));
  char *end = nullptr;
  double n = g_ascii_strtod (t, &end);
  if (end == t || (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')))
    return fail (error, g_strdup_printf ("“%s” is not a number.", t));
  if (*end == ',' && g_ascii_isdigit (end[1]))
    return fail (error, g_strdup ("Use a point for decimals: 1.5, not 1,5."));

  /* Prefix and unit word. */
  std::string rest = end;
  rest.erase (0, rest.find_first_not_of (' '));
  Kind kind = Kind::BARE;
  if (!rest.empty ())
    {
      kind = word_kind (rest);
      size_t plen = 0;
      const double f = prefix_factor (rest.c_str (), &plen);
      if (kind == Kind::UNKNOWN && f != 0)
        {
          std::string word = rest.substr (plen);
          word.erase (0, word.find_first_not_of (' '));
          kind = word.empty () ? Kind::BARE : word_kind (word);
          if (kind == Kind::HZ || kind == Kind::SECONDS || kind == Kind::BARE)
            n *= f;
          else
            kind = Kind::UNKNOWN;
        }
      if (kind == Kind::UNKNOWN)
        return fail (error, g_strdup_printf ("Unknown unit “%s”.", rest.c_str ()));
    }

  double v;
  if (!convert (n, kind, unit, &v))
    return fail (error, g_strdup_printf ("“%s” does not fit: this is %s.", rest.c_str (),
                                         unit_name (unit)));
  if (!std::isfinite (v))
    return fail (error, g_strdup ("The number is too large."));
  if (integer && v != std::floor (v))
    return fail (error, g_strdup ("Type a whole number."));
  if (v < min || v > max)
    {
      g_autofree char *lo = zelm_value_text_format (min, unit, integer, 6);
      g_autofree char *hi = zelm_value_text_format (max, unit, integer, 6);
      return fail (error, g_strdup_printf ("Out of range: %s to %s.", lo, hi));
    }
  *value = v;
  return TRUE;
}

/* ---- units and roles of node properties ---------------------------------- */

namespace {

/* What an attribute source of a node does with what it reads. */
struct Role {
  const char *type;     /* node type name */
  const char *property; /* its attribute property */
  const char *label;
  ZelmValueUnit unit;   /* the unit of what it reads */
};

const Role roles[] = {
  { "VornFilterRbjLowpass", "freq-attrib", "Filter cutoff", ZELM_VALUE_UNIT_HZ },
  { "VornFilterRbjHighpass", "freq-attrib", "Filter cutoff", ZELM_VALUE_UNIT_HZ },
  { "VornFilterRbjBandpass", "freq-attrib", "Filter centre", ZELM_VALUE_UNIT_HZ },
  { "VornFilterRbjLowpass", "q-attrib", "Filter Q", ZELM_VALUE_UNIT_FACTOR },
  { "VornFilterRbjHighpass", "q-attrib", "Filter Q", ZELM_VALUE_UNIT_FACTOR },
  { "VornFilterRbjBandpass", "width-attrib", "Filter bandwidth", ZELM_VALUE_UNIT_FACTOR },
  { "VornFilterRbjLowpass", "src-attrib", "Filter input", ZELM_VALUE_UNIT_GAIN },
  { "VornFilterRbjHighpass", "src-attrib", "Filter input", ZELM_VALUE_UNIT_GAIN },
  { "VornFilterRbjBandpass", "src-attrib", "Filter input", ZELM_VALUE_UNIT_GAIN },
  { "VornWave", "x-attrib", "Wave speed", ZELM_VALUE_UNIT_FACTOR },
  { "VornWave", "y-attrib", "Wave amplitude", ZELM_VALUE_UNIT_GAIN },
  { "VornFilterNoise", "y-attrib", "Noise amplitude", ZELM_VALUE_UNIT_GAIN },
  { "VornMix", "sig-attrib", "Mix input", ZELM_VALUE_UNIT_GAIN },
  { "VornMix", "bal-attrib", "Mix balance", ZELM_VALUE_UNIT_NONE },
  { "VornMix", "lat-attrib", "Mix front-rear", ZELM_VALUE_UNIT_NONE },
};

/* Attributes that carry their meaning by type; the effects and control take
 * theirs from their readers. */
const char *const attrib_names[VORN_ATTRIB_TYPE_COUNT] = {
  "None",     "Time",     "Pitch",    "Volume",  "Signal",   "Effect 1", "Effect 2",
  "Effect 3", "Effect 4", "Balance",  "Front-rear", "Speakers", "Morph", "Control",
};

int
attrib_of (GObject *object, const char *property)
{
  if (!g_object_class_find_property (G_OBJECT_GET_CLASS (object), property))
    return -1;
  int v = -1;
  g_object_get (object, property, &v, nullptr);
  return v;
}

/* The nodes that share attributes with @node: its instrument, or its tree. */
VornNode *
scope_of (VornNode *node)
{
  VornNode *inst = vorn_node_get_parent_by_type (node, VORN_TYPE_INST);
  return inst ? inst : vorn_node_get_root (node);
}

struct RoleSearch {
  GObject *skip;
  int attrib;
  std::string labels;
  const Role *first;
};

gboolean
find_readers (VornNode *node, gpointer data)
{
  auto *s = static_cast<RoleSearch *> (data);
  if (G_OBJECT (node) == s->skip)
    return TRUE;
  for (const Role &r : roles)
    if (g_strcmp0 (G_OBJECT_TYPE_NAME (node), r.type) == 0
        && attrib_of (G_OBJECT (node), r.property) == s->attrib)
      {
        if (!s->first)
          s->first = &r;
        if (s->labels.find (r.label) == std::string::npos)
          s->labels += (s->labels.empty () ? "" : ", ") + std::string (r.label);
      }
  return TRUE; /* on through the whole scope */
}

RoleSearch
readers_of (int attrib, GObject *context)
{
  RoleSearch s { context, attrib, {}, nullptr };
  /* Only the general-purpose attributes take their meaning from a reader;
   * the others say what they are by name. */
  const bool general = attrib >= VORN_ATTRIB_TYPE_EFFECT1 && attrib <= VORN_ATTRIB_TYPE_EFFECT4;
  if (general && context && VORN_IS_NODE (context))
    vorn_node_pre_traverse (scope_of (VORN_NODE (context)), find_readers, &s);
  return s;
}

/* The unit of what a node writes to @dest (before any dB or semitone
 * transform). */
ZelmValueUnit
output_unit (GObject *object, int dest)
{
  switch (dest)
    {
    case VORN_ATTRIB_TYPE_VOLUME:
    case VORN_ATTRIB_TYPE_SIGNAL:
    case VORN_ATTRIB_TYPE_SPEAKERS:
      return ZELM_VALUE_UNIT_GAIN;
    case VORN_ATTRIB_TYPE_TIME:
    case VORN_ATTRIB_TYPE_PITCH:
      return ZELM_VALUE_UNIT_FACTOR;
    case VORN_ATTRIB_TYPE_BALANCE:
    case VORN_ATTRIB_TYPE_LATITUDE:
    case VORN_ATTRIB_TYPE_MORPH:
      return ZELM_VALUE_UNIT_NONE;
    default:
      {
        /* The effects mean what their reader makes of them. */
        RoleSearch s = readers_of (dest, object);
        return s.first ? s.first->unit : ZELM_VALUE_UNIT_NONE;
      }
    }
}

/* Numeric properties whose unit their name settles, on any object. */
const struct {
  const char *property;
  ZelmValueUnit unit;
} named_units[] = {
  { "sample-rate", ZELM_VALUE_UNIT_HZ },
  { "bend-range", ZELM_VALUE_UNIT_SEMITONES },
  { "hold-delay", ZELM_VALUE_UNIT_SECONDS },
  { "root-note", ZELM_VALUE_UNIT_NONE },
};

} // namespace

ZelmValueUnit
zelm_value_unit_for (GObject *object, const char *property)
{
  g_return_val_if_fail (G_IS_OBJECT (object) && property != nullptr, ZELM_VALUE_UNIT_NONE);

  GParamSpec *pspec = g_object_class_find_property (G_OBJECT_GET_CLASS (object), property);
  g_return_val_if_fail (pspec != nullptr, ZELM_VALUE_UNIT_NONE);
  for (const auto &n : named_units)
    if (strcmp (property, n.property) == 0)
      return n.unit;
  const GType t = G_TYPE_FUNDAMENTAL (pspec->value_type);
  if (t != G_TYPE_DOUBLE && t != G_TYPE_FLOAT)
    return ZELM_VALUE_UNIT_NONE;

  if (VORN_IS_WAVE (object) || VORN_IS_FILTER_NOISE (object))
    {
      const int dest = attrib_of (object, "dest-attrib");
      const int op = attrib_of (object, "dest-op");
      const bool y = strcmp (property, "y-scale") == 0 || strcmp (property, "y-ofs") == 0;
      if (strcmp (property, "x-scale") == 0)
        {
          const int x = attrib_of (object, "x-attrib");
          return x == VORN_ATTRIB_TYPE_PITCH || x == VORN_ATTRIB_TYPE_TIME ? ZELM_VALUE_UNIT_HZ
                                                                           : ZELM_VALUE_UNIT_FACTOR;
        }
      /* Multiplying into volume or pitch, the curve's values are converted
       * from dB or semitones. */
      if (y && op == VORN_WAVE_OP_MUL && dest == VORN_ATTRIB_TYPE_VOLUME)
        return ZELM_VALUE_UNIT_DB;
      if (y && op == VORN_WAVE_OP_MUL && dest == VORN_ATTRIB_TYPE_PITCH)
        return ZELM_VALUE_UNIT_SEMITONES;
      const ZelmValueUnit out = output_unit (object, dest);
      /* An offset of a signal is no level. */
      if (strcmp (property, "y-ofs") == 0 && out == ZELM_VALUE_UNIT_GAIN)
        return ZELM_VALUE_UNIT_FACTOR;
      if (y || strcmp (property, "init-value") == 0)
        return out;
    }
  return ZELM_VALUE_UNIT_FACTOR;
}

char *
zelm_value_text_attrib_label (int attrib, GObject *context)
{
  if (attrib < 0 || attrib >= VORN_ATTRIB_TYPE_COUNT)
    return g_strdup ("");
  RoleSearch s = readers_of (attrib, context);
  if (s.labels.empty ())
    return g_strdup (attrib_names[attrib]);
  return g_strdup_printf ("%s → %s", attrib_names[attrib], s.labels.c_str ());
}
