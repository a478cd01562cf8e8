// The table of the elements: carbon and hydrogen as the model has them,
// every symbol found in any case, and the valence rule the manual states.
#include "core/elements.hpp"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

TEST(Elements, CarbonAndHydrogenAreTheModelsAndEverySymbolIsFound) {
  const swnt::Species carbon = swnt::element_species(*swnt::find_element("c"));
  EXPECT_EQ(carbon.symbol, swnt::kCarbon.symbol);
  EXPECT_EQ(carbon.mass, swnt::kCarbon.mass);
  EXPECT_EQ(carbon.valence, swnt::kCarbon.valence);
  const swnt::Species hydrogen = swnt::element_species(*swnt::find_element("H"));
  EXPECT_EQ(hydrogen.mass, swnt::kHydrogen.mass);
  EXPECT_EQ(hydrogen.valence, swnt::kHydrogen.valence);
  for (int z = 1; z <= swnt::kElementCount; ++z) {
    const swnt::Element& element = swnt::element_by_number(z);
    EXPECT_EQ(swnt::find_element(element.symbol), &element);
    EXPECT_GT(element.mass, 0.0);
  }
  EXPECT_EQ(swnt::find_element("CL")->symbol, "Cl");
  EXPECT_EQ(swnt::find_element("Xx"), nullptr);
  EXPECT_EQ(swnt::find_element("Cl1"), nullptr);
  EXPECT_EQ(swnt::find_element(""), nullptr);
  // The valence rule, one element of each of its lines.
  const std::vector<std::pair<const char*, int>> valences = {
      {"H", 1}, {"C", 3},  {"Li", 1}, {"B", 3},  {"N", 3},  {"O", 2},  {"F", 1},  {"Na", 1},
      {"Si", 4}, {"P", 5}, {"S", 6},  {"I", 7},  {"Ts", 7}, {"He", 0}, {"Ar", 0}, {"Og", 0},
      {"Fe", 12}, {"La", 12}, {"U", 12}, {"Cn", 12}, {"Ca", 2}, {"Ga", 3}, {"Pb", 4}, {"Bi", 5}};
  for (const auto& [symbol, valence] : valences) {
    EXPECT_EQ(swnt::element_valence(swnt::find_element(symbol)->number), valence) << symbol;
  }
}

}  // namespace
