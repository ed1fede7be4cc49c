// What a client call or an operation gives back: done, or why not. Every
// failure is told in the log exactly once: a refusal by the "Error: " line of
// the call and the operation's own failure line; an entry point that cannot
// be called, or an input that does not convert, by the export that ran the
// operation (see Cause).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/log.h"

namespace korvan {

class Result {
 public:
  enum class Kind : int32_t {
    Ok,
    Refused,      // the controller answered with a code, or the operation's
                  // own lines told the failure
    Unavailable,  // no communication started, or the library lacks the entry point
    Invalid,      // the host passed something that does not convert
  };

  static Result Ok() { return Result(Kind::Ok, 0); }
  static Result Refused(int32_t code) { return Result(Kind::Refused, code); }
  // `entryPoint` null: no communication was started yet.
  static Result Unavailable(const char* entryPoint);
  // `why` alone: what the host passed cannot be used ("buffer do host nulo").
  static Result Invalid(const char* why);
  // "'<input>' <why>": a text of the host's that does not convert; read
  // while its call lasts.
  static Result Invalid(std::string_view input, const char* why);

  Kind kind() const { return kind_; }
  bool ok() const { return kind_ == Kind::Ok; }
  bool refused() const { return kind_ == Kind::Refused; }
  // A failure whose cause no line has told yet: unavailable or invalid.
  bool untold() const { return kind_ == Kind::Unavailable || kind_ == Kind::Invalid; }
  int32_t code() const { return code_; }
  // Why the latest untold failure failed, for the export's failure line;
  // empty for the others, whose lines are written already.
  std::string Cause() const;

 private:
  // Two integers, which every call returns in registers: a result is copied
  // and tested after each client call. An untold failure's detail (an entry
  // point's name, the host's text) is kept aside instead, the latest one:
  // operations run one at a time under the driver's lock, and the export
  // tells the cause as soon as its operation returns.
  Result(Kind kind, int32_t code) : kind_(kind), code_(code) {}
  Kind kind_;
  int32_t code_;
};

// Writes "Error: <code>" for a client library's code other than 0 and gives
// it as Refused: the one place where the library's codes become log lines.
Result RefusedWithErrorLine(int32_t code);

// Writes an operation's own failure line when `result` is a refusal, and
// gives `result` back:
//   const Result read = OnRefusal(ReadHose(...), "<AUT_X> Falha ...");
//   if (!read.ok()) return read;
template <class... Parts>
Result OnRefusal(const Result& result, const Parts&... line) {
  if (result.refused()) WriteLog(line...);
  return result;
}

// Tells an untold failure: `prefix` and the cause, in one line. A null
// prefix: the operation tells every failure in its own lines.
inline void TellCause(const char* prefix, const Result& result) {
  if (prefix != nullptr && result.untold()) WriteLog(prefix, result.Cause());
}

}  // namespace korvan
