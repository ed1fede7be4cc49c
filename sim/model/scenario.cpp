#include "sim/model/scenario.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <map>
#include <optional>
#include <utility>

#include "sim/model/ole_date.h"

// Numbers go through <charconv>: strtod would follow the host process's C
// locale, and a scenario must read the same everywhere.

namespace qxsim {
namespace {

struct StateName {
  int32_t state;
  const char* name;
};
constexpr StateName kStateNames[] = {
    {SIM_PUMP_UNKNOWN, "unknown"},
    {SIM_PUMP_NOT_INSTALLED, "not-installed"},
    {SIM_PUMP_NOT_RESPONDING, "not-responding"},
    {SIM_PUMP_STOPPED, "stopped"},
    {SIM_PUMP_IDLE, "idle"},
    {SIM_PUMP_AUTHORISED, "authorised"},
    {SIM_PUMP_RESERVED, "reserved"},
    {SIM_PUMP_CALLING, "calling"},
    {SIM_PUMP_DELIVERING, "delivering"},
    {SIM_PUMP_DELIVERY_STOPPED, "delivery-stopped"},
    {SIM_PUMP_CALLING_STACKED, "calling-stacked"},
    {SIM_PUMP_STARTING, "starting"},
    {SIM_PUMP_FINISHING, "finishing"},
    {SIM_PUMP_FINISHED, "finished"},
    {SIM_PUMP_LOCKED, "locked"},
    {SIM_PUMP_ERROR, "error"},
};

// A bad line, thrown inside the parser and turned into ScenarioError at its
// edge.
struct BadLine {
  std::string message;
};

struct Token {
  std::string text;
  bool quoted = false;
};

std::string Quote(const std::string& text) { return "'" + text + "'"; }

// Words separated by blanks; "..." is one token (\" and \\ inside it stand
// for " and \); # starts a comment.
std::vector<Token> Tokenize(std::string_view line) {
  std::vector<Token> tokens;
  size_t i = 0;
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (i < line.size()) {
    const char c = line[i];
    if (blank(c)) {
      ++i;
    } else if (c == '#') {
      break;
    } else if (c == '"') {
      Token token{std::string(), true};
      bool closed = false;
      for (++i; i < line.size();) {
        const char d = line[i++];
        if (d == '"') {
          closed = true;
          break;
        }
        if (d == '\\' && i < line.size()) {
          token.text += line[i++];
        } else {
          token.text += d;
        }
      }
      if (!closed) throw BadLine{"a text in quotes is not closed"};
      tokens.push_back(std::move(token));
    } else {
      const size_t start = i;
      while (i < line.size() && !blank(line[i]) && line[i] != '#' && line[i] != '"') {
        ++i;
      }
      tokens.push_back({std::string(line.substr(start, i - start)), false});
    }
  }
  return tokens;
}

double Number(const std::string& text, const std::string& what) {
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || stop != end || !std::isfinite(value)) {
    throw BadLine{Quote(text) + " is not a number (" + what + ")"};
  }
  return value;
}

int64_t Integer(const std::string& text, const std::string& what, int64_t min, int64_t max) {
  std::string_view digits = text;
  bool negative = false;
  if (!digits.empty() && digits.front() == '-') {
    negative = true;
    digits.remove_prefix(1);
  }
  int base = 10;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    base = 16;
    digits.remove_prefix(2);
  }
  uint64_t magnitude = 0;
  const char* end = digits.data() + digits.size();
  const auto [stop, error] = std::from_chars(digits.data(), end, magnitude, base);
  if (digits.empty() || error != std::errc() || stop != end) {
    throw BadLine{Quote(text) + " is not a whole number (" + what + ")"};
  }
  // Hexadecimal stands for the bit pattern, so 0xFFFFFFFFFFFFFFFF is -1.
  int64_t value;
  if (base == 16 && !negative) {
    value = static_cast<int64_t>(magnitude);
  } else if (negative && magnitude <= uint64_t{1} << 63) {
    value = static_cast<int64_t>(0 - magnitude);
  } else if (!negative && magnitude < uint64_t{1} << 63) {
    value = static_cast<int64_t>(magnitude);
  } else {
    throw BadLine{Quote(text) + " is too large (" + what + ")"};
  }
  if (value < min || value > max) {
    throw BadLine{Quote(text) + " is outside " + std::to_string(min) + ".." + std::to_string(max) +
                  " (" + what + ")"};
  }
  return value;
}

int32_t Int32(const std::string& text, const std::string& what, int64_t min = INT32_MIN,
              int64_t max = INT32_MAX) {
  return static_cast<int32_t>(Integer(text, what, min, max));
}

// "5s", "1.5s", "500ms", "2m", "2min", "1h"; a bare number is seconds.
double Seconds(const std::string& text, const std::string& what) {
  struct Unit {
    const char* suffix;
    double seconds;
  };
  static constexpr Unit kUnits[] = {{"ms", 0.001}, {"min", 60}, {"s", 1}, {"m", 60}, {"h", 3600}};
  std::string number = text;
  double scale = 1;
  for (const Unit& unit : kUnits) {
    const size_t n = std::strlen(unit.suffix);
    if (text.size() > n && text.compare(text.size() - n, n, unit.suffix) == 0) {
      number = text.substr(0, text.size() - n);
      scale = unit.seconds;
      break;
    }
  }
  double value;
  try {
    value = Number(number, what);
  } catch (const BadLine&) {
    throw BadLine{Quote(text) +
                  " is not a time such as 5s, 1.5s, 500ms or "
                  "2m (" +
                  what + ")"};
  }
  if (value < 0) throw BadLine{Quote(text) + " is a negative time"};
  return value * scale;
}

int32_t PumpState(const std::string& text) {
  for (const StateName& s : kStateNames) {
    if (text == s.name) return s.state;
  }
  if (!text.empty() && (text[0] == '-' || (text[0] >= '0' && text[0] <= '9'))) {
    return Int32(text, "pump state", INT16_MIN, INT16_MAX);
  }
  std::string names;
  for (const StateName& s : kStateNames) {
    names += names.empty() ? "" : ", ";
    names += s.name;
  }
  throw BadLine{Quote(text) +
                " is not a pump state: give a number or one "
                "of " +
                names};
}

template <size_t N>
void CopyName(char (&target)[N], const std::string& text, const std::string& what) {
  if (text.size() >= N) {
    throw BadLine{what + " " + Quote(text) + " is longer than " + std::to_string(N - 1) + " bytes"};
  }
  std::memcpy(target, text.c_str(), text.size() + 1);
}

// The key-value pairs that follow a line's kind and its positional values.
class Fields {
 public:
  Fields(const std::vector<Token>& tokens, size_t first, std::string kind)
      : kind_(std::move(kind)) {
    for (size_t i = first; i < tokens.size(); i += 2) {
      const Token& key = tokens[i];
      if (key.quoted) {
        throw BadLine{"expected a word before " + Quote(key.text) + " in this " + kind_ + " line"};
      }
      if (i + 1 >= tokens.size()) {
        throw BadLine{Quote(key.text) + " needs a value after it"};
      }
      for (const auto& pair : pairs_) {
        if (pair.first == key.text) {
          throw BadLine{Quote(key.text) + " is given twice"};
        }
      }
      pairs_.emplace_back(key.text, tokens[i + 1].text);
    }
  }

  // Every key must be one of `allowed`.
  void Allow(std::initializer_list<const char*> allowed) const {
    for (const auto& pair : pairs_) {
      bool known = false;
      for (const char* name : allowed) known = known || pair.first == name;
      if (!known) {
        std::string list;
        for (const char* name : allowed) {
          list += list.empty() ? "" : ", ";
          list += name;
        }
        throw BadLine{Quote(pair.first) + " does not belong in " + Article(kind_) +
                      " line; it takes " + list};
      }
    }
  }

  const std::string* Find(const char* key) const {
    for (const auto& pair : pairs_) {
      if (pair.first == key) return &pair.second;
    }
    return nullptr;
  }

  const std::string& Need(const char* key) const {
    const std::string* value = Find(key);
    if (!value) {
      throw BadLine{Article(kind_) + " line needs " + Quote(key)};
    }
    return *value;
  }

  static std::string Article(const std::string& kind) {
    const bool vowel = !kind.empty() && std::strchr("aeiou", kind[0]);
    return (vowel ? "an " : "a ") + kind;
  }

 private:
  std::string kind_;
  std::vector<std::pair<std::string, std::string>> pairs_;
};

class Parser {
 public:
  Parser(const std::function<bool(std::string_view)>& isEntryPoint, Scenario& scenario)
      : isEntryPoint_(isEntryPoint), scenario_(scenario) {}

  void Line(std::string_view text, int number) {
    line_ = number;
    const std::vector<Token> tokens = Tokenize(text);
    if (tokens.empty()) return;
    size_t i = 0;
    std::optional<double> at;
    if (!tokens[0].quoted && tokens[0].text == "at") {
      if (tokens.size() < 2) {
        throw BadLine{"'at' needs a time, as in 'at 5s delivery ...'"};
      }
      at = Seconds(tokens[1].text, "at");
      i = 2;
      if (i == tokens.size()) {
        throw BadLine{"nothing follows 'at " + tokens[1].text + "'"};
      }
    }
    const Token& head = tokens[i++];
    const std::string kind = head.quoted ? std::string() : head.text;
    if (kind == "clock") {
      NoTime(at, kind);
      Clock(tokens, i);
    } else if (kind == "grade") {
      NoTime(at, kind);
      Grade(tokens, i);
    } else if (kind == "pump") {
      Pump(tokens, i, at);
    } else if (kind == "hose") {
      NoTime(at, kind);
      Hose(tokens, i);
    } else if (kind == "delivery") {
      Delivery(tokens, i, at);
    } else if (kind == "event") {
      Event(tokens, i, at);
    } else if (kind == "link") {
      Link(tokens, i, at);
    } else if (kind == "fail") {
      NoTime(at, kind);
      Fail(tokens, i);
    } else {
      throw BadLine{Quote(head.text) +
                    " does not start a line; lines start "
                    "with clock, grade, pump, hose, delivery, event, link, "
                    "fail or at"};
    }
  }

 private:
  static void NoTime(const std::optional<double>& at, const std::string& kind) {
    if (at) {
      throw BadLine{"'at' does not apply to " + Fields::Article(kind) +
                    " line: it is there from the start"};
    }
  }

  static const std::string& Positional(const std::vector<Token>& tokens, size_t i,
                                       const std::string& what) {
    if (i >= tokens.size()) throw BadLine{"missing " + what};
    return tokens[i].text;
  }

  // Merges an 'at' key with an 'at' prefix.
  static std::optional<double> Time(const Fields& fields, std::optional<double> at) {
    if (const std::string* value = fields.Find("at")) {
      if (at) throw BadLine{"the time is given twice"};
      at = Seconds(*value, "at");
    }
    return at;
  }

  void Clock(const std::vector<Token>& tokens, size_t i) {
    if (scenario_.hasClock) {
      throw BadLine{"the clock is set twice (first on line " + std::to_string(clockLine_) + ")"};
    }
    const std::string& date = Positional(tokens, i, "the date, as in 'clock 2026-12-05 14:30:00'");
    const std::string time = i + 1 < tokens.size() ? tokens[i + 1].text : std::string("00:00:00");
    if (i + 2 < tokens.size()) {
      throw BadLine{"a clock line takes a date and a time only"};
    }
    int second = 0;
    const std::string dateForm = "a date YYYY-MM-DD";
    if (date.size() != 10 || date[4] != '-' || date[7] != '-') {
      throw BadLine{Quote(date) + " is not " + dateForm};
    }
    const int year = Int32(date.substr(0, 4), dateForm, 1900, 9999);
    const int month = Int32(date.substr(5, 2), dateForm, 1, 12);
    const int day = Int32(date.substr(8, 2), dateForm, 1, 31);
    static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day > kDays[month - 1] || (month == 2 && day == 29 && !leap)) {
      throw BadLine{Quote(date) + " is not a day of the calendar"};
    }
    const std::string timeForm = "a time HH:MM:SS";
    if ((time.size() != 5 && time.size() != 8) || time[2] != ':' ||
        (time.size() == 8 && time[5] != ':')) {
      throw BadLine{Quote(time) + " is not " + timeForm};
    }
    const int hour = Int32(time.substr(0, 2), timeForm, 0, 23);
    const int minute = Int32(time.substr(3, 2), timeForm, 0, 59);
    if (time.size() == 8) second = Int32(time.substr(6, 2), timeForm, 0, 59);
    scenario_.hasClock = true;
    scenario_.clock = OleDate(year, month, day, hour, minute, second);
    clockLine_ = line_;
  }

  void Grade(const std::vector<Token>& tokens, size_t i) {
    const int32_t id = Int32(Positional(tokens, i,
                                        "the grade id, as in 'grade 1 name "
                                        "\"Gasolina Comum\"'"),
                             "grade id", 1, INT32_MAX);
    Fields fields(tokens, i + 1, "grade");
    fields.Allow({"name", "short", "number"});
    if (grades_.count(id)) {
      throw BadLine{"grade " + std::to_string(id) + " is defined twice (first on line " +
                    std::to_string(grades_[id]) + ")"};
    }
    SimGrade grade{};
    grade.id = id;
    grade.number = id;
    if (const std::string* v = fields.Find("number")) {
      grade.number = Int32(*v, "grade number", 1, INT16_MAX);
    }
    const std::string name =
        fields.Find("name") ? *fields.Find("name") : "Grade " + std::to_string(id);
    CopyName(grade.name, name, "the name");
    const std::string shortName = fields.Find("short") ? *fields.Find("short") : name.substr(0, 3);
    CopyName(grade.shortName, shortName, "the short name");
    grades_[id] = line_;
    scenario_.grades.push_back(grade);
  }

  void Pump(const std::vector<Token>& tokens, size_t i, std::optional<double> at) {
    const int32_t number = Int32(Positional(tokens, i, "the pump number, as in 'pump 1 id 11'"),
                                 "pump number", 1, INT16_MAX);
    Fields fields(tokens, i + 1, "pump");
    at = Time(fields, at);
    const auto known = pumpLines_.find(number);
    if (at) {
      // A change to a pump defined above.
      fields.Allow({"at", "state", "hose", "volume", "amount"});
      if (known == pumpLines_.end()) {
        throw BadLine{"pump " + std::to_string(number) + " is not defined above"};
      }
      Happening h;
      h.kind = Happening::kPumpState;
      h.at = *at;
      h.line = line_;
      h.pumpNumber = number;
      h.state = PumpState(fields.Need("state"));
      if (const std::string* v = fields.Find("hose")) {
        h.setsHose = true;
        h.hoseId = Int32(*v, "hose id", 0, INT32_MAX);
        if (h.hoseId != 0 && !hoseLines_.count(h.hoseId)) {
          throw BadLine{"hose " + *v + " is not defined above"};
        }
      }
      if (const std::string* v = fields.Find("volume")) {
        h.setsVolume = true;
        h.volume = Number(*v, "volume");
      }
      if (const std::string* v = fields.Find("amount")) {
        h.setsValue = true;
        h.value = Number(*v, "amount");
      }
      scenario_.happenings.push_back(h);
      return;
    }
    fields.Allow({"id", "name", "state"});
    if (known != pumpLines_.end()) {
      throw BadLine{"pump " + std::to_string(number) + " is defined twice (first on line " +
                    std::to_string(known->second) +
                    "); to change its state later give a time, as in "
                    "'pump " +
                    std::to_string(number) + " state calling at 5s'"};
    }
    SimPump pump{};
    pump.number = number;
    pump.id = number;
    if (const std::string* v = fields.Find("id")) {
      pump.id = Int32(*v, "pump id", 1, INT32_MAX);
    }
    for (const SimPump& other : scenario_.pumps) {
      if (other.id == pump.id) {
        throw BadLine{"pump id " + std::to_string(pump.id) + " is already pump " +
                      std::to_string(other.number) + "'s"};
      }
    }
    const std::string name =
        fields.Find("name") ? *fields.Find("name") : "Pump " + std::to_string(number);
    CopyName(pump.name, name, "the name");
    pump.state = SIM_PUMP_IDLE;
    if (const std::string* v = fields.Find("state")) pump.state = PumpState(*v);
    pumpLines_[number] = line_;
    scenario_.pumps.push_back(pump);
  }

  void Hose(const std::vector<Token>& tokens, size_t i) {
    const int32_t id =
        Int32(Positional(tokens, i, "the hose id, as in 'hose 31 pump 1 price 5.799'"), "hose id",
              1, INT32_MAX);
    Fields fields(tokens, i + 1, "hose");
    fields.Allow({"pump", "number", "grade", "price", "price2", "totalizer", "tank"});
    if (hoseLines_.count(id)) {
      throw BadLine{"hose " + std::to_string(id) + " is defined twice (first on line " +
                    std::to_string(hoseLines_[id]) + ")"};
    }
    const int32_t pumpNumber = Int32(fields.Need("pump"), "pump number", 1, INT16_MAX);
    const SimPump* pump = nullptr;
    for (const SimPump& p : scenario_.pumps) {
      if (p.number == pumpNumber) pump = &p;
    }
    if (!pump) {
      throw BadLine{"pump " + std::to_string(pumpNumber) + " is not defined above"};
    }
    SimHose hose{};
    hose.id = id;
    hose.pumpId = pump->id;
    int32_t onPump = 0;
    for (const SimHose& h : scenario_.hoses) onPump += h.pumpId == pump->id;
    hose.number = onPump + 1;
    if (const std::string* v = fields.Find("number")) {
      hose.number = Int32(*v, "hose number", 1, INT16_MAX);
    }
    for (const SimHose& h : scenario_.hoses) {
      if (h.pumpId == pump->id && h.number == hose.number) {
        throw BadLine{"pump " + std::to_string(pumpNumber) + " already has a hose number " +
                      std::to_string(hose.number) + " (hose " + std::to_string(h.id) + ")"};
      }
    }
    if (const std::string* v = fields.Find("grade")) {
      hose.gradeId = Int32(*v, "grade id", 1, INT32_MAX);
      if (!grades_.count(hose.gradeId)) {
        throw BadLine{"grade " + *v + " is not defined above"};
      }
    }
    hose.price = Number(fields.Need("price"), "price");
    if (hose.price <= 0) throw BadLine{"the price must be above 0"};
    hose.price2 = hose.price;
    if (const std::string* v = fields.Find("price2")) {
      hose.price2 = Number(*v, "price2");
      if (hose.price2 <= 0) throw BadLine{"price2 must be above 0"};
    }
    if (const std::string* v = fields.Find("totalizer")) {
      hose.totalizer = Number(*v, "totalizer");
      if (hose.totalizer < 0) throw BadLine{"the totalizer must not be negative"};
    }
    hose.tankId = hose.gradeId ? hose.gradeId : 1;
    if (const std::string* v = fields.Find("tank")) {
      hose.tankId = Int32(*v, "tank id", 1, INT32_MAX);
    }
    hoseLines_[id] = line_;
    scenario_.hoses.push_back(hose);
  }

  void Delivery(const std::vector<Token>& tokens, size_t i, std::optional<double> at) {
    Fields fields(tokens, i, "delivery");
    fields.Allow({"at", "hose", "volume", "price", "amount", "id", "state", "type", "lockedby",
                  "code", "duration", "level", "attendant", "start", "end"});
    at = Time(fields, at);
    const int32_t hoseId = Int32(fields.Need("hose"), "hose id", 1, INT32_MAX);
    if (!hoseLines_.count(hoseId)) {
      throw BadLine{"hose " + std::to_string(hoseId) + " is not defined above"};
    }
    const double volume = Number(fields.Need("volume"), "volume");
    if (volume < 0) throw BadLine{"the volume must not be negative"};
    SimDelivery d = SimDeliveryDefaults(hoseId, volume);
    if (const std::string* v = fields.Find("price")) {
      d.unitPrice = Number(*v, "price");
      d.flags &= ~SIM_DELIVERY_AUTO_PRICE;
    }
    if (const std::string* v = fields.Find("amount")) {
      d.amount = Number(*v, "amount");
      d.flags &= ~SIM_DELIVERY_AUTO_AMOUNT;
    }
    if (const std::string* v = fields.Find("id")) {
      d.id = Int32(*v, "delivery id", 1, INT32_MAX);
      if (deliveryLines_.count(d.id)) {
        throw BadLine{"delivery id " + *v + " is already used on line " +
                      std::to_string(deliveryLines_[d.id])};
      }
      deliveryLines_[d.id] = line_;
    }
    if (const std::string* v = fields.Find("state")) {
      d.state = Int32(*v, "delivery state", INT16_MIN, INT16_MAX);
    }
    if (const std::string* v = fields.Find("type")) {
      d.type = Int32(*v, "delivery type", INT16_MIN, INT16_MAX);
    }
    if (const std::string* v = fields.Find("lockedby")) {
      d.lockedBy = Int32(*v, "client id");
    }
    if (const std::string* v = fields.Find("code")) {
      d.code = Integer(*v, "code", INT64_MIN, INT64_MAX);
    }
    if (const std::string* v = fields.Find("duration")) {
      d.durationSeconds = static_cast<int32_t>(std::lround(std::min(Seconds(*v, "duration"), 2e9)));
    }
    if (const std::string* v = fields.Find("level")) {
      d.priceLevel = Int32(*v, "price level", 1, INT16_MAX);
    }
    if (const std::string* v = fields.Find("attendant")) {
      d.attendantId = Int32(*v, "attendant id");
    }
    const std::string* start = fields.Find("start");
    const std::string* end = fields.Find("end");
    if ((start == nullptr) != (end == nullptr)) {
      throw BadLine{"'start' and 'end' go together"};
    }
    if (start) {
      d.startTotalizer = Number(*start, "start");
      d.endTotalizer = Number(*end, "end");
      d.flags &= ~SIM_DELIVERY_AUTO_TOTALS;
    }
    if (!at) {
      scenario_.deliveries.push_back(d);
      return;
    }
    Happening h;
    h.kind = Happening::kDelivery;
    h.at = *at;
    h.line = line_;
    h.delivery = d;
    scenario_.happenings.push_back(h);
  }

  void Event(const std::vector<Token>& tokens, size_t i, std::optional<double> at) {
    const int32_t type = Int32(Positional(tokens, i, "the event type, as in 'event 3 at 4s'"),
                               "event type", INT32_MIN, INT32_MAX);
    if (type == SIM_EVENT_PUMP) {
      throw BadLine{"type 1 is a pump event: write 'pump N state S at T'"};
    }
    Fields fields(tokens, i + 1, "event");
    fields.Allow({"at"});
    at = Time(fields, at);
    Happening h;
    h.kind = Happening::kEvent;
    h.at = at.value_or(0);
    h.line = line_;
    h.eventType = type;
    scenario_.happenings.push_back(h);
  }

  void Link(const std::vector<Token>& tokens, size_t i, std::optional<double> at) {
    const std::string& state = Positional(tokens, i, "'up' or 'down', as in 'link down at 10s'");
    if (state != "up" && state != "down") {
      throw BadLine{Quote(state) + " is neither 'up' nor 'down'"};
    }
    Fields fields(tokens, i + 1, "link");
    fields.Allow({"at"});
    at = Time(fields, at);
    Happening h;
    h.kind = Happening::kLink;
    h.at = at.value_or(0);
    h.line = line_;
    h.linkUp = state == "up";
    scenario_.happenings.push_back(h);
  }

  void Fail(const std::vector<Token>& tokens, size_t i) {
    const std::string& name =
        Positional(tokens, i, "the entry point, as in 'fail ClearDelivery code 6'");
    if (name != "*" && !isEntryPoint_(name)) {
      throw BadLine{Quote(name) + " is not an entry point of the library"};
    }
    Fields fields(tokens, i + 1, "fail");
    fields.Allow({"code", "call"});
    FaultLine fault;
    fault.name = name;
    fault.code = Int32(fields.Need("code"), "result code");
    if (fault.code == 0) throw BadLine{"code 0 is success, not a failure"};
    if (const std::string* v = fields.Find("call")) {
      fault.nth = Int32(*v, "call number", 1, INT32_MAX);
    }
    scenario_.faults.push_back(fault);
  }

  const std::function<bool(std::string_view)>& isEntryPoint_;
  Scenario& scenario_;
  int line_ = 0;
  int clockLine_ = 0;
  std::map<int32_t, int> grades_;         // id -> line
  std::map<int32_t, int> pumpLines_;      // number -> line
  std::map<int32_t, int> hoseLines_;      // id -> line
  std::map<int32_t, int> deliveryLines_;  // id -> line
};

}  // namespace

bool ParseScenario(std::string_view text, const std::function<bool(std::string_view)>& isEntryPoint,
                   Scenario& scenario, ScenarioError& error) {
  scenario = Scenario{};
  error = ScenarioError{};
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // BOM
  Parser parser(isEntryPoint, scenario);
  int number = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    ++number;
    try {
      parser.Line(text.substr(pos, end - pos), number);
    } catch (const BadLine& bad) {
      error.line = number;
      error.message = bad.message;
      return false;
    }
    pos = end + 1;
  }
  std::stable_sort(scenario.happenings.begin(), scenario.happenings.end(),
                   [](const Happening& a, const Happening& b) { return a.at < b.at; });
  return true;
}

const char* PumpStateName(int32_t state) {
  for (const StateName& s : kStateNames) {
    if (s.state == state) return s.name;
  }
  return nullptr;
}

}  // namespace qxsim
