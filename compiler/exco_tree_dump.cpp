// A readable dump of the parse tree: one node per line, children indented under their
// parent, each with its combine operator, sign, function name and operands.
#include "compiler/exco_h.h"
#include "compiler/exco_number.h"

#include <utility>

namespace {

// Pieces are appended one by one, never prefixed to a temporary: GCC 12 at -O3 reports a
// false overlapping copy (-Wrestrict) in std::string's insert at the front.
template <typename... Pieces>
std::string concat(const Pieces&... pieces) {
  std::string out;
  ((out += pieces), ...);
  return out;
}

std::string signedNumber(Extended v) { return concat(v >= 0 ? "+" : "", ExcoFormatNumber(v)); }

class TreeDumper {
 public:
  explicit TreeDumper(const TExcoH& h) : h_(h) {}

  std::string dump(const TNode* root) const {
    std::string out;
    std::vector<std::pair<const TNode*, int>> stack;
    if (root) stack.push_back({root, 0});
    while (!stack.empty()) {
      auto [node, depth] = stack.back();
      stack.pop_back();
      out += concat(std::string(2 * depth, ' '), line(*node), "\n");
      std::vector<const TNode*> children;
      for (const TNode* c = node->FirstChild; c; c = c->NextSibling) children.push_back(c);
      for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back({*it, depth + 1});
    }
    return out;
  }

 private:
  const TExcoH& h_;

  std::string var(int32_t index) const {
    if (index < 0 || static_cast<size_t>(index) >= h_.Variables.size()) return "?";
    return h_.Variables[index].Name;
  }

  std::string combination(const std::vector<Extended>& coefs, Extended constant) const {
    std::string out;
    for (size_t i = 0; i < coefs.size(); ++i) {
      if (coefs[i] == 0) continue;
      out += concat(out.empty() ? ExcoFormatNumber(coefs[i]) : signedNumber(coefs[i]), "*", var(static_cast<int32_t>(i)));
    }
    if (constant != 0) out += signedNumber(constant);
    return out;
  }

  std::string name(int32_t index) const {
    if (index < 0 || static_cast<size_t>(index) >= h_.FuncTable.size()) return concat("#", std::to_string(index));
    const TArrayS& names = h_.FuncTable.Entries()[static_cast<size_t>(index)].Names;
    return names.size() > 1 && !names[1].empty() ? names[1] : concat("#", std::to_string(index));
  }

  std::string line(const TNode& n) const {
    const TDataNode& d = n.Data;
    std::string out;
    switch (d.Operator) {
      case op::Add: out += "+ "; break;
      case op::Sub: out += "- "; break;
      case op::Mul: out += "* "; break;
      case op::Div: out += "/ "; break;
      default: break;
    }
    if (d.Negate) out += "-";
    out += name(d.FuncIndex);
    switch (d.FuncIndex) {
      case fx::LDSC: out += concat(" ", ExcoFormatNumber(d.b1)); break;
      case fx::LDSF:
      case fx::LDSI:
      case fx::LDA: out += concat(" ", var(d.VarIndex[0])); break;
      case fx::FAVB: out += concat(" ", ExcoFormatNumber(d.a1), "*", var(d.VarIndex[0]), signedNumber(d.b1)); break;
      case fx::IAVB:
        out += concat(" ", std::to_string(d.IntCoef), "*", var(d.VarIndex[2]), signedNumber(d.IntAddend));
        break;
      case fx::AAF: out += concat(" ", combination(d.RealCoefs, d.ConstTerm)); break;
      case fx::AFI: out += concat(" ", combination(d.IntRealCoefs, d.ConstTerm)); break;
      case fx::AAI: out += concat(" ", combination(d.IntCoefs, d.IntConstTerm)); break;
      case fx::LDSV: {
        std::string index;
        if (d.OperandKind == 1) index = std::to_string(d.IntAddend);
        else if (d.OperandKind == 2) index = var(d.VarIndex[2]);
        else if (d.OperandKind == 3)
          index = concat(std::to_string(d.IntCoef), "*", var(d.VarIndex[2]), signedNumber(d.IntAddend));
        else if (d.OperandKind == 4) index = combination(d.IntCoefs, d.IntConstTerm);
        else index = "#";
        out += concat(" ", var(d.VarIndex[0]), "[", index, "]");
        break;
      }
      case fx::SumV: case fx::SumQV: case fx::AvrV: case fx::LenV: case fx::MaxV: case fx::MinV:
      case fx::NormV: case fx::ProdV:
        out += concat(" ", var(d.VarIndex[0]));
        break;
      case fx::JMP: out += concat(" ", std::to_string(d.OperandKind)); break;
      case fx::FLD: out += d.OperandKind == 1 ? " 1" : " 0"; break;
      case fx::ADD:
        if (d.B != 0) out += concat(" B=", ExcoFormatNumber(d.B));
        break;
      case fx::MUL:
        if (d.A != 1) out += concat(" A=", ExcoFormatNumber(d.A));
        break;
      default: break;
    }
    if (d.PostForm) out += concat(" A=", ExcoFormatNumber(d.A), " B=", ExcoFormatNumber(d.B));
    return out;
  }
};

}  // namespace

std::string TExcoH::DumpTree() const { return TreeDumper(*this).dump(Root); }
