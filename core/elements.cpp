#include "core/elements.hpp"

#include <array>

namespace swnt {

namespace {

// The standard atomic weights (IUPAC 2016, the conventional value where a
// range is given); for an element without a stable isotope the mass of its
// longest-lived isotope.
constexpr std::array<Element, kElementCount> kElements{{
    {1, "H", 1.008}, {2, "He", 4.002602}, {3, "Li", 6.94}, {4, "Be", 9.0121831}, {5, "B", 10.81},
    {6, "C", 12.011}, {7, "N", 14.007}, {8, "O", 15.999}, {9, "F", 18.998403163},
    {10, "Ne", 20.1797}, {11, "Na", 22.98976928}, {12, "Mg", 24.305}, {13, "Al", 26.9815385},
    {14, "Si", 28.085}, {15, "P", 30.973761998}, {16, "S", 32.06}, {17, "Cl", 35.45},
    {18, "Ar", 39.948}, {19, "K", 39.0983}, {20, "Ca", 40.078}, {21, "Sc", 44.955908},
    {22, "Ti", 47.867}, {23, "V", 50.9415}, {24, "Cr", 51.9961}, {25, "Mn", 54.938044},
    {26, "Fe", 55.845}, {27, "Co", 58.933194}, {28, "Ni", 58.6934}, {29, "Cu", 63.546},
    {30, "Zn", 65.38}, {31, "Ga", 69.723}, {32, "Ge", 72.63}, {33, "As", 74.921595},
    {34, "Se", 78.971}, {35, "Br", 79.904}, {36, "Kr", 83.798}, {37, "Rb", 85.4678},
    {38, "Sr", 87.62}, {39, "Y", 88.90584}, {40, "Zr", 91.224}, {41, "Nb", 92.90637},
    {42, "Mo", 95.95}, {43, "Tc", 97.90721}, {44, "Ru", 101.07}, {45, "Rh", 102.9055},
    {46, "Pd", 106.42}, {47, "Ag", 107.8682}, {48, "Cd", 112.414}, {49, "In", 114.818},
    {50, "Sn", 118.71}, {51, "Sb", 121.76}, {52, "Te", 127.6}, {53, "I", 126.90447},
    {54, "Xe", 131.293}, {55, "Cs", 132.90545196}, {56, "Ba", 137.327}, {57, "La", 138.90547},
    {58, "Ce", 140.116}, {59, "Pr", 140.90766}, {60, "Nd", 144.242}, {61, "Pm", 144.91276},
    {62, "Sm", 150.36}, {63, "Eu", 151.964}, {64, "Gd", 157.25}, {65, "Tb", 158.92535},
    {66, "Dy", 162.5}, {67, "Ho", 164.93033}, {68, "Er", 167.259}, {69, "Tm", 168.93422},
    {70, "Yb", 173.054}, {71, "Lu", 174.9668}, {72, "Hf", 178.49}, {73, "Ta", 180.94788},
    {74, "W", 183.84}, {75, "Re", 186.207}, {76, "Os", 190.23}, {77, "Ir", 192.217},
    {78, "Pt", 195.084}, {79, "Au", 196.966569}, {80, "Hg", 200.592}, {81, "Tl", 204.38},
    {82, "Pb", 207.2}, {83, "Bi", 208.9804}, {84, "Po", 208.98243}, {85, "At", 209.98715},
    {86, "Rn", 222.01758}, {87, "Fr", 223.01974}, {88, "Ra", 226.02541}, {89, "Ac", 227.02775},
    {90, "Th", 232.0377}, {91, "Pa", 231.03588}, {92, "U", 238.02891}, {93, "Np", 237.04817},
    {94, "Pu", 244.06421}, {95, "Am", 243.06138}, {96, "Cm", 247.07035}, {97, "Bk", 247.07031},
    {98, "Cf", 251.07959}, {99, "Es", 252.083}, {100, "Fm", 257.09511}, {101, "Md", 258.09843},
    {102, "No", 259.101}, {103, "Lr", 262.11}, {104, "Rf", 267.122}, {105, "Db", 268.126},
    {106, "Sg", 271.134}, {107, "Bh", 270.133}, {108, "Hs", 269.1338}, {109, "Mt", 278.156},
    {110, "Ds", 281.165}, {111, "Rg", 281.166}, {112, "Cn", 285.177}, {113, "Nh", 286.182},
    {114, "Fl", 289.19}, {115, "Mc", 289.194}, {116, "Lv", 293.204}, {117, "Ts", 293.208},
    {118, "Og", 294.214}
}};

// Upper case for a letter of a chemical symbol (ASCII only).
constexpr char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Lower case likewise.
constexpr char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool in_range(int number, int first, int last) { return number >= first && number <= last; }

}  // namespace

const Element* find_element(std::string_view symbol) {
  if (symbol.empty() || symbol.size() > 2) return nullptr;
  const char first = upper(symbol[0]);
  const char second = symbol.size() == 2 ? lower(symbol[1]) : '\0';
  for (const Element& element : kElements) {
    if (element.symbol[0] != first) continue;
    const char other = element.symbol.size() == 2 ? element.symbol[1] : '\0';
    if (other == second) return &element;
  }
  return nullptr;
}

const Element& element_by_number(int number) {
  return kElements[static_cast<std::size_t>(number - 1)];
}

int element_valence(int number) {
  switch (number) {
    case 1: return 1;   // H
    case 2: return 0;   // He
    case 3: return 1;   // Li
    case 4: return 2;   // Be
    case 5: return 3;   // B
    case 6: return 3;   // C: the sp2 network of a tube or a sheet
    case 7: return 3;   // N
    case 8: return 2;   // O
    case 9: return 1;   // F
    case 10: return 0;  // Ne
    default: break;
  }
  // From the third period on: the first atomic number of each period, and
  // where its p block (group 13) begins.
  struct Period {
    int first;    // group 1
    int p_block;  // group 13
  };
  constexpr Period kPeriods[] = {{11, 13}, {19, 31}, {37, 49}, {55, 81}, {87, 113}};
  for (const Period& period : kPeriods) {
    if (number == period.first) return 1;
    if (number == period.first + 1) return 2;
    if (in_range(number, period.p_block, period.p_block + 4)) return number - period.p_block + 3;
    if (number == period.p_block + 5) return 0;  // noble gas
  }
  return 12;  // transition metals, lanthanides, actinides
}

Species element_species(const Element& element) {
  if (element.number == 6) return kCarbon;
  if (element.number == 1) return kHydrogen;
  return Species{std::string(element.symbol), element.mass, element_valence(element.number)};
}

}  // namespace swnt
