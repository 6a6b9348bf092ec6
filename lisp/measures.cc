// cvunit: values from one unit of measure to another, over the common units
// of length, area, volume, angle, time and mass.
//
// Each unit is an exact multiple of its dimension's smallest unit here (a
// micrometre, a square micrometre, a cubic tenth of a millimetre, an
// arcsecond, a millisecond, a nanogram), times a power of pi for the
// radian. The ratio of two units is reduced before it is applied, so that
// a conversion between defined units rounds once where it can: 1 inch is
// 25.4 mm exactly, 180 degrees is pi.
#include <cmath>
#include <numbers>
#include <numeric>

#include "library.h"
#include "platform/text.h"

namespace lisp {
namespace {

enum class Dimension { kLength, kArea, kVolume, kAngle, kTime, kMass };

struct Unit {
  const char16_t* names;  // the names it goes by, comma-separated, lower case
  Dimension dimension;
  int64_t amount;  // of the dimension's smallest unit
  int piPower = 0;
};

constexpr int64_t kInch = 25400, kFoot = 12 * kInch, kYard = 3 * kFoot, kMile = 5280 * kFoot;
constexpr int64_t kInch3 = 254LL * 254 * 254, kGallon = 231 * kInch3;
constexpr int64_t kPound = 453592370000LL;

const Unit kUnits[] = {
    // length, in micrometres
    {u"micron,microns,micrometer,micrometers,micrometre,micrometres", Dimension::kLength, 1},
    {u"mm,millimeter,millimeters,millimetre,millimetres", Dimension::kLength, 1000},
    {u"cm,centimeter,centimeters,centimetre,centimetres", Dimension::kLength, 10000},
    {u"dm,decimeter,decimeters,decimetre,decimetres", Dimension::kLength, 100000},
    {u"m,meter,meters,metre,metres", Dimension::kLength, 1000000},
    {u"km,kilometer,kilometers,kilometre,kilometres", Dimension::kLength, 1000000000},
    {u"in,inch,inches", Dimension::kLength, kInch},
    {u"ft,foot,feet", Dimension::kLength, kFoot},
    {u"yd,yard,yards", Dimension::kLength, kYard},
    {u"mi,mile,miles", Dimension::kLength, kMile},
    {u"nautical mile,nautical miles", Dimension::kLength, 1852000000},
    // area, in square micrometres
    {u"sq mm,square mm,square millimeter,square millimeters,square millimetre,square "
     u"millimetres",
     Dimension::kArea, 1000000},
    {u"sq cm,square cm,square centimeter,square centimeters,square centimetre,square "
     u"centimetres",
     Dimension::kArea, 100000000},
    {u"sq m,square m,square meter,square meters,square metre,square metres", Dimension::kArea,
     1000000000000},
    {u"are,ares", Dimension::kArea, 100000000000000},
    {u"hectare,hectares", Dimension::kArea, 10000000000000000},
    {u"sq km,square km,square kilometer,square kilometers,square kilometre,square kilometres",
     Dimension::kArea, 1000000000000000000},
    {u"sq in,square in,square inch,square inches", Dimension::kArea, kInch* kInch},
    {u"sq ft,square ft,square foot,square feet", Dimension::kArea, kFoot* kFoot},
    {u"sq yd,square yd,square yard,square yards", Dimension::kArea, kYard* kYard},
    {u"acre,acres", Dimension::kArea, 4840 * kYard* kYard},
    {u"sq mi,square mi,square mile,square miles", Dimension::kArea, kMile* kMile},
    // volume, in cubic tenths of a millimetre
    {u"cu mm,cubic mm,cubic millimeter,cubic millimeters,cubic millimetre,cubic millimetres",
     Dimension::kVolume, 1000},
    {u"cu cm,cubic cm,cubic centimeter,cubic centimeters,cubic centimetre,cubic "
     u"centimetres,cc,ml,milliliter,milliliters,millilitre,millilitres",
     Dimension::kVolume, 1000000},
    {u"l,liter,liters,litre,litres", Dimension::kVolume, 1000000000},
    {u"cu m,cubic m,cubic meter,cubic meters,cubic metre,cubic metres", Dimension::kVolume,
     1000000000000},
    {u"cu in,cubic in,cubic inch,cubic inches", Dimension::kVolume, kInch3},
    {u"cu ft,cubic ft,cubic foot,cubic feet", Dimension::kVolume, 1728 * kInch3},
    {u"cu yd,cubic yd,cubic yard,cubic yards", Dimension::kVolume, 46656 * kInch3},
    {u"gal,gallon,gallons", Dimension::kVolume, kGallon},
    {u"qt,quart,quarts", Dimension::kVolume, kGallon / 4},
    {u"pt,pint,pints", Dimension::kVolume, kGallon / 8},
    {u"imperial gallon,imperial gallons", Dimension::kVolume, 4546090000},
    {u"barrel,barrels", Dimension::kVolume, 42 * kGallon},
    {u"acre foot,acre feet,acre-foot,acre-feet", Dimension::kVolume, 43560 * 1728 * kInch3},
    // angle, in arcseconds
    {u"arcsecond,arcseconds", Dimension::kAngle, 1},
    {u"arcminute,arcminutes", Dimension::kAngle, 60},
    {u"degree,degrees,deg", Dimension::kAngle, 3600},
    {u"grad,grads,gradian,gradians,gon", Dimension::kAngle, 3240},
    {u"circle,circles,revolution,revolutions,turn,turns", Dimension::kAngle, 1296000},
    {u"radian,radians,rad", Dimension::kAngle, 648000, -1},
    // time, in milliseconds
    {u"ms,millisecond,milliseconds,msec", Dimension::kTime, 1},
    {u"second,seconds,sec,secs,s", Dimension::kTime, 1000},
    {u"minute,minutes,min,mins", Dimension::kTime, 60000},
    {u"hour,hours,hr,hrs,h", Dimension::kTime, 3600000},
    {u"day,days", Dimension::kTime, 86400000},
    {u"week,weeks", Dimension::kTime, 604800000},
    {u"year,years", Dimension::kTime, 31557600000},  // the Julian year: 365.25 days
    // mass, in nanograms
    {u"mg,milligram,milligrams,milligramme,milligrammes", Dimension::kMass, 1000000},
    {u"g,gram,grams,gramme,grammes", Dimension::kMass, 1000000000},
    {u"kg,kilogram,kilograms,kilogramme,kilogrammes", Dimension::kMass, 1000000000000},
    {u"tonne,tonnes,metric ton,metric tons", Dimension::kMass, 1000000000000000},
    {u"gr,grain,grains", Dimension::kMass, kPound / 7000},
    {u"oz,ounce,ounces", Dimension::kMass, kPound / 16},
    {u"lb,lbs,pound,pounds", Dimension::kMass, kPound},
    {u"stone,stones", Dimension::kMass, 14 * kPound},
    {u"ton,tons,short ton,short tons", Dimension::kMass, 2000 * kPound},
    {u"long ton,long tons", Dimension::kMass, 2240 * kPound},
};

// The unit a name stands for: case and runs of blanks aside.
const Unit* findUnit(const std::u16string& given) {
  std::u16string name;
  for (char16_t c : platform::toLowerWide(given)) {
    if (c == u' ' || c == u'\t') {
      if (!name.empty() && name.back() != u' ') name += u' ';
    } else {
      name += c;
    }
  }
  if (!name.empty() && name.back() == u' ') name.pop_back();
  if (name.empty()) return nullptr;
  for (const Unit& unit : kUnits) {
    const std::u16string_view names(unit.names);
    for (size_t start = 0; start <= names.size();) {
      size_t end = names.find(u',', start);
      if (end == std::u16string_view::npos) end = names.size();
      if (names.substr(start, end - start) == name) return &unit;
      start = end + 1;
    }
  }
  return nullptr;
}

// (cvunit VALUE FROM TO): VALUE (a number, or a point's list of numbers) in
// the unit TO, as a real; nil for a unit not known or of another dimension.
Value cvunit(Interpreter& lisp, Args& args) {
  need(lisp, args, 3, 3);
  const Unit* from = findUnit(text(lisp, args[1]));
  const Unit* to = findUnit(text(lisp, args[2]));
  if (!isNumber(args[0]) && args[0].type() != Type::kCons) lisp.badType("numberp", args[0]);
  if (!from || !to || from->dimension != to->dimension) return Value();
  const int64_t common = std::gcd(from->amount, to->amount);
  const double times = static_cast<double>(from->amount / common);
  const double over = static_cast<double>(to->amount / common);
  const int piPower = from->piPower - to->piPower;
  auto convert = [&](double x) {
    double y = x * times / over;
    if (piPower > 0) y *= std::numbers::pi;
    if (piPower < 0) y /= std::numbers::pi;
    return y;
  };
  if (isNumber(args[0])) return Value::real(convert(number(lisp, args[0])));
  std::vector<Value> converted;
  for (const Value& item : elements(lisp, args[0])) {
    converted.push_back(Value::real(convert(number(lisp, item))));
  }
  return makeList(std::move(converted));
}

}  // namespace

std::span<const Subr> measureFunctions() {
  static const Subr table[] = {
      {"CVUNIT", cvunit},
  };
  return table;
}

}  // namespace lisp
