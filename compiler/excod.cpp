#include "compiler/excod.h"

#include "compiler/exco_codes.h"

TExcoD::TExcoD() { Init(); }

void TExcoD::Init() {
  ErrorKind = 0;
  MessageMode = 0;
  OptionFlag1 = OptionFlag2 = false;
  Registry.clear();
}

std::string TExcoD::KindText(int32_t kind, const std::string& name) {
  switch (kind) {
    case 1: return "UNKNOWN SYMBOL:";
    case 2: return "MISSING BRACKET \"(\"";
    case 3: return "MISSING OPERATION:";
    case 4: return "INCOINCIDENCE NUMBER OF ARGUMENTS:";
    case 5: return "MISSING EXPRESSION:";
    case 6: return "UNKNOWN FUNCTION:";
    case 7: return "ABSENT FUNCTION FOR LOAD TYPE:";
    case 8: return "NOT DEFINED OPERATION \"" + name + "\" FOR TYPES:";
    case 9: return "NOT DEFINED FUNCTION \"" + name + "\" FOR TYPES:";
    case 10: return "MISSING BRACKET \")\"";
    case 11: return "ERROR AT ADDITION OF FUNCTION";
    default: return "";
  }
}

void TExcoD::ShowError() {
  if (MessageMode != 0) {
    if (Beep) Beep();
    if (CalculationError != 0) {
      if (MessageBox) MessageBox("ExcoD error", "\r\n\"Calculation Error\"");
    } else if (ErrorKind == 0) {
      if (FaultSubtype != 0 && MessageMode == 1 && MessageBox) MessageBox("ExcoD error", "\r\n\"Internal Error\"");
    } else if (MessageMode == 1 && MessageBox) {
      MessageBox("ExcoD error", KindText(ErrorKind, Name) + "\r\n\"" + ErrorText + "\"");
    }
  }
  if (OnError) OnError();
}

void TExcoD_Custom::GetError(int& code) const {
  code = 0;
  switch (ErrorKind) {
    case 0: {
      static const int kFaults[] = {0,
                                    exco_error::ZeroDivide,
                                    exco_error::InvalidOp,
                                    exco_error::Overflow,
                                    exco_error::Underflow,
                                    exco_error::IntOverflow,
                                    exco_error::AccessViolation,
                                    exco_error::OutOfMemory,
                                    exco_error::StackOverflow};
      code = FaultSubtype >= 1 && FaultSubtype <= 8 ? kFaults[FaultSubtype] : 0;
      return;
    }
    case 1: code = exco_error::UnknownSymbol; return;
    case 2: code = exco_error::MissingOpen; return;
    case 3: code = exco_error::MissingOperation; return;
    case 4: code = exco_error::ArgumentCount; return;
    case 5: code = exco_error::MissingExpression; return;
    case 6: code = exco_error::UnknownFunction; return;
    case 10: code = exco_error::MissingClose; return;
    default: code = ErrorKind; return;
  }
}

void TExcoD_Custom::AddFunction(const std::string& name) { Registry[name]; }

void TExcoD_Custom::AddAlias(const std::string& name, const std::string& alias) { Registry[name].push_back(alias); }
