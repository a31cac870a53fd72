#include "ARCHIVES.h"

namespace {
using O = TArchiverOptions;
using K = TArchiverOptions::TSwitchKind;
constexpr O::TSwitch num(const char* name, int8_t O::*field) { return {name, K::Number, field, nullptr, nullptr}; }
constexpr O::TSwitch text(const char* name, std::string O::*field) { return {name, K::Text, nullptr, field, nullptr}; }
}  // namespace

const std::array<TArchiverOptions::TSwitch, 73>& TArchiverOptions::Switches() {
  static const std::array<TSwitch, 73> table = {
      num("a", &O::a),     num("c", &O::c),     num("e", &O::e),     num("f", &O::f),     num("h", &O::h),
      num("i", &O::i),     num("l", &O::l),     num("m", &O::m),     num("n", &O::n),     num("o", &O::o),
      num("p", &O::p),     num("r", &O::r),     num("s", &O::s),     num("t", &O::t),     num("u", &O::u),
      TSwitch{"w", K::Directory, nullptr, &O::w, nullptr},
      num("x", &O::x),     num("y", &O::y),     num("z", &O::z),     num("jc", &O::jc),   num("jd", &O::jd),
      num("je", &O::je),   num("jf", &O::jf),   num("jh", &O::jh),   num("ji", &O::ji),   num("jm", &O::jm),
      num("jn", &O::jn),   text("jo", &O::jo),  text("job", &O::job), num("jp", &O::jp), num("jr", &O::jr),
      num("jsb", &O::jsb), num("jsc", &O::jsc), num("jsd", &O::jsd), num("jse", &O::jse), num("jsf", &O::jsf),
      num("jsl", &O::jsl), num("jso", &O::jso), num("jss", &O::jss), num("jst", &O::jst), num("jsv", &O::jsv),
      num("jsz", &O::jsz), num("jw", &O::jw),
      TSwitch{"jx", K::List, nullptr, nullptr, &O::jx},
      num("jyc", &O::jyc), num("jyd", &O::jyd), num("jyk", &O::jyk), num("jyn", &O::jyn), num("jyo", &O::jyo),
      text("jz", &O::jz),  num("ga", &O::ga),   num("gd", &O::gd),   num("ge", &O::ge),   num("gf", &O::gf),
      num("gj", &O::gj),   num("gm", &O::gm),   num("gn", &O::gn),   num("go", &O::go),   num("gp", &O::gp),
      text("gr", &O::gr),  num("gs", &O::gs),   num("gu", &O::gu),   num("gw", &O::gw),   num("gya", &O::gya),
      num("gyc", &O::gyc), text("gyd", &O::gyd), text("gye", &O::gye), num("gyo", &O::gyo), num("gyq", &O::gyq),
      num("gys", &O::gys), text("gyt", &O::gyt), text("gyw", &O::gyw), num("gyx", &O::gyx),
  };
  return table;
}

TArchiverOptions::TArchiverOptions() { Reset(); }

void TArchiverOptions::Reset() {
  for (const TSwitch& sw : Switches()) {
    switch (sw.Kind) {
      case TSwitchKind::Number: this->*sw.Number = -1; break;
      case TSwitchKind::Text:
      case TSwitchKind::Directory: this->*sw.Text = kUnsetText; break;
      case TSwitchKind::List: (this->*sw.List).clear(); break;
    }
  }
  UserOptions.clear();
  UserFileList.clear();
  PackFilter = pfComponent;
  ResFileName.clear();
  ResFileUsage = TResFileUsage{ruOnPack, ruOnUnpack, ruOnRemoveItem};
}
