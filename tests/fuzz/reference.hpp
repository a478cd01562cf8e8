// Plain versions of the trajectory readers and writers for the fuzz targets
// to compare against: every number read with its own scanf conversion and
// checked, every number written with printf, every pair of atoms compared
// directly.  Slow, short and obviously right; the fast code must give the
// same bytes, and must fail exactly where these fail.
#pragma once

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "core/text_format.hpp"

namespace fuzz {

// printf into a string: the plain formatting the outputs are compared with.
using swnt::format_text;

// scanf reading with every conversion checked.  Integers must fit 32 bits,
// the range the "%d" conversion of the format is defined for.
class RefReader {
 public:
  explicit RefReader(const std::string& path) : file_(std::fopen(path.c_str(), "r")) {}
  ~RefReader() {
    if (file_ != nullptr) std::fclose(file_);
  }
  RefReader(const RefReader&) = delete;
  RefReader& operator=(const RefReader&) = delete;

  bool ok() const { return file_ != nullptr && !failed_; }

  bool read_int(long long& value) {
    if (!ok()) return false;
    if (std::fscanf(file_, "%lld", &value) != 1 || value > INT_MAX || value < INT_MIN) {
      failed_ = true;
    }
    return !failed_;
  }
  bool read_real(double& value) {
    if (!ok()) return false;
    if (std::fscanf(file_, "%lf", &value) != 1) failed_ = true;
    return !failed_;
  }
  bool read_triple(double* xyz) { return read_real(xyz[0]) && read_real(xyz[1]) && read_real(xyz[2]); }
  // Everything up to and including the next line feed; false at end of file.
  bool skip_line() {
    if (!ok()) return false;
    int c = 0;
    while ((c = std::fgetc(file_)) != EOF && c != '\n') {
    }
    if (c == EOF) failed_ = true;
    return !failed_;
  }
  bool at_eof() const { return file_ != nullptr && std::feof(file_) != 0; }

 private:
  std::FILE* file_;
  bool failed_ = false;
};

struct RefHeader {
  long long lead = 0, nmol = 0, ndat = 0;
  double box[3] = {0.0, 0.0, 0.0};
  double aux1 = 0.0, aux2 = 0.0;
};

inline bool ref_read_header(RefReader& in, RefHeader& h) {
  return in.read_int(h.lead) && in.read_int(h.nmol) && in.read_int(h.ndat) &&
         in.read_real(h.box[0]) && in.read_real(h.box[1]) && in.read_real(h.box[2]) &&
         in.read_real(h.aux1) && in.read_real(h.aux2) && h.nmol >= 0 && h.ndat >= 0;
}

// The pv file, or nothing (ok false) where the writer must refuse.
struct RefPv {
  bool ok = false;
  std::string bytes;
};

inline void ref_put_u16(std::string& out, unsigned value) {
  out += static_cast<char>(value & 0xFFu);
  out += static_cast<char>((value >> 8) & 0xFFu);
}

inline void ref_put_f64(std::string& out, double value) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  for (int k = 0; k < 8; ++k) out += static_cast<char>((bits >> (8 * k)) & 0xFFu);
}

inline RefPv reference_pv(const std::string& input, bool centred) {
  RefPv result;
  RefReader in(input);
  RefHeader h;
  if (!ref_read_header(in, h) || h.nmol > 32767 || h.ndat > 65535) return result;
  const auto nmol = static_cast<std::size_t>(h.nmol);
  const std::size_t nbond = 2 * nmol;
  std::string& out = result.bytes;
  out = "PV-01 /Tarvelmoundrix Laboratory";
  ref_put_u16(out, static_cast<unsigned>(h.lead) & 0xFFFFu);
  ref_put_u16(out, static_cast<unsigned>(nmol));
  ref_put_u16(out, static_cast<unsigned>(nbond));
  ref_put_u16(out, static_cast<unsigned>(h.ndat));
  for (int a = 0; a < 3; ++a) {
    ref_put_f64(out, -h.box[a] * 0.5);
    ref_put_f64(out, h.box[a] * 0.5);
  }
  ref_put_f64(out, h.aux1);
  ref_put_f64(out, h.aux2);
  for (std::size_t i = 0; i < nmol; ++i) ref_put_f64(out, 0.8);

  std::vector<int> stored(3 * nmol);
  std::vector<int> bonds(nmol);
  std::vector<std::pair<std::size_t, std::size_t>> slots;
  for (long long s = 0; s < h.ndat; ++s) {
    for (std::size_t i = 0; i < nmol; ++i) {
      double xyz[3];
      if (!in.read_triple(xyz)) return result;
      for (int a = 0; a < 3; ++a) {
        const double c = centred ? xyz[a] : xyz[a] - h.box[a] * 0.5;
        const double rounded = std::floor(c * 100.0 + 0.5);
        if (!std::isfinite(c) || !(rounded >= -32768.0 && rounded <= 32767.0)) return result;
        stored[3 * i + a] = static_cast<int>(rounded);
      }
    }
    std::fill(bonds.begin(), bonds.end(), 0);
    slots.clear();
    std::size_t ibond = 0;
    for (std::size_t i = 0; i < nmol; ++i) {
      for (std::size_t j = i + 1; j < nmol; ++j) {
        const double dx = (stored[3 * i] - stored[3 * j]) * 0.01;
        const double dy = (stored[3 * i + 1] - stored[3 * j + 1]) * 0.01;
        const double dz = (stored[3 * i + 2] - stored[3 * j + 2]) * 0.01;
        if (std::sqrt(dx * dx + dy * dy + dz * dz) < 1.8) {
          ++bonds[i];
          ++bonds[j];
          if (ibond < nbond) slots.emplace_back(i, j);
          ++ibond;
        }
      }
    }
    if (ibond > nbond) return result;
    for (std::size_t i = 0; i < nmol; ++i) {
      static const unsigned char kinds[] = {15, 14, 10, 2, 1};
      unsigned char kind = kinds[std::min(bonds[i], 4)];
      if (stored[3 * i] == 0 && stored[3 * i + 1] == 0 && stored[3 * i + 2] == 0) kind = 3;
      out += static_cast<char>(kind);
      for (int a = 0; a < 3; ++a) ref_put_u16(out, static_cast<unsigned>(stored[3 * i + a]) & 0xFFFFu);
    }
    for (const auto& [i, j] : slots) {
      out += static_cast<char>(118);
      ref_put_u16(out, static_cast<unsigned>(i + 1));
      ref_put_u16(out, static_cast<unsigned>(j + 1));
    }
    for (std::size_t k = slots.size(); k < nbond; ++k) out.append("\xff\0\0\0\0", 5);
  }
  result.ok = true;
  return result;
}

// The per-scene files of an XYZ writer: those written before the reading
// failed, and whether it did.
struct RefScenes {
  bool ok = false;
  std::vector<std::string> files;
};

// More scenes than XYZ files are written: refused before the first file.
inline bool ref_read_xyz_header(RefReader& in, RefHeader& h) {
  return ref_read_header(in, h) && h.ndat <= 1000000;
}

inline RefScenes reference_xmol(const std::string& input, const std::string& title) {
  RefScenes result;
  RefReader in(input);
  RefHeader h;
  if (!ref_read_xyz_header(in, h)) return result;
  for (long long s = 0; s < h.ndat; ++s) {
    std::string text = format_text("%d\n%s\n", static_cast<int>(h.nmol), title.c_str());
    for (long long i = 0; i < h.nmol; ++i) {
      double xyz[3];
      if (!in.read_triple(xyz)) return result;
      text += format_text("C    %14.6lf  %14.6lf  %14.6lf  \n", xyz[0], xyz[1], xyz[2]);
    }
    result.files.push_back(std::move(text));
  }
  result.ok = true;
  return result;
}

inline RefScenes reference_tinker(const std::string& input, const std::string& title) {
  RefScenes result;
  RefReader in(input);
  RefHeader h;
  if (!ref_read_xyz_header(in, h)) return result;
  const auto nmol = static_cast<std::size_t>(h.nmol);
  for (long long s = 0; s < h.ndat; ++s) {
    std::vector<double> xyz;
    for (std::size_t i = 0; i < nmol; ++i) {
      double p[3];
      if (!in.read_triple(p)) return result;
      xyz.insert(xyz.end(), p, p + 3);
    }
    std::string text = format_text("%5d  %s\n", static_cast<int>(nmol), title.c_str());
    for (std::size_t i = 0; i < nmol; ++i) {
      text += format_text("%6d  C   %11.6lf %11.6lf %11.6lf %5d ", static_cast<int>(i + 1),
                          xyz[3 * i], xyz[3 * i + 1], xyz[3 * i + 2], 1);
      for (std::size_t j = 0; j < nmol; ++j) {
        if (j == i) continue;
        const double dx = xyz[3 * i] - xyz[3 * j];
        const double dy = xyz[3 * i + 1] - xyz[3 * j + 1];
        const double dz = xyz[3 * i + 2] - xyz[3 * j + 2];
        if (std::sqrt(dx * dx + dy * dy + dz * dz) < 1.8) {
          text += format_text("%5d ", static_cast<int>(j + 1));
        }
      }
      text += "\n";
    }
    result.files.push_back(std::move(text));
  }
  result.ok = true;
  return result;
}

// The joined trajectory, or nothing where the join must be refused.
struct RefJoin {
  bool ok = false;
  std::string bytes;
};

inline RefJoin reference_join(const std::string& first, const std::string& second) {
  RefJoin result;
  RefReader a(first);
  RefReader b(second);
  RefHeader ha, hb;
  if (!ref_read_header(a, ha) || !ref_read_header(b, hb) || ha.ndat != hb.ndat) return result;
  const long long nmol = ha.nmol + hb.nmol;
  if (nmol > INT_MAX) return result;
  auto larger = [](double x, double y) { return y > x ? y : x; };
  std::string& out = result.bytes;
  out = format_text("%d %d %d\n", static_cast<int>(ha.lead), static_cast<int>(nmol),
                    static_cast<int>(ha.ndat));
  out += format_text("%lf %lf %lf\n", larger(ha.box[0], hb.box[0]), larger(ha.box[1], hb.box[1]),
                     larger(ha.box[2], hb.box[2]));
  out += format_text("%lf %lf\n", ha.aux1, ha.aux2);
  for (long long s = 0; s < (nmol > 0 ? ha.ndat : 0); ++s) {
    for (RefReader* in : {&a, &b}) {
      const long long count = in == &a ? ha.nmol : hb.nmol;
      for (long long i = 0; i < count; ++i) {
        double p[3];
        if (!in->read_triple(p)) return result;
        out += format_text("%15.7lf %15.7lf %15.7lf\n", p[0], p[1], p[2]);
      }
    }
  }
  result.ok = true;
  return result;
}

}  // namespace fuzz
