// The pile results: pile-top forces and the march of both bending planes from station to
// station down every pile.
//
// Signs as passed to the transfer matrices: above ground the x-z plane passes (UX, SY, NX, MY)
// and the y-z plane (UY, -SX, NY, -MX); below ground the moment changes sign, so x-z passes
// (UX, SY, NX, -MY) and y-z (UY, -SX, NY, MX). Results are brought back the same way, so STX
// always holds (UX, SY, NX, MY) and STY (UY, SX, NY, MX).
#include <cmath>

#include "foundation/foundation.hpp"
#include "pile/pile.hpp"
#include "results/results.hpp"

namespace kelmarino {
namespace {

constexpr float EQUAL_PLANES = 0.001f;  // factors closer than this share one transfer matrix

void pile_top(int32_t g, const Table<float, MAX_PILES, 6>& TOPD, const PileData& piles,
              StationTables& st) {
  Matrix6 B;
  for (int32_t i = 1; i <= 6; ++i) st.DU[i - 1] = TOPD(g, i);
  stiffness_block(piles, g, B);
  MATMUL(6, 6, 1, B.data(), st.DU, st.FT);
  st.ZH(1) = 0.0f;
  const float x[4] = {st.DU[0], st.DU[4], st.FT[0], st.FT[4]};
  const float y[4] = {st.DU[1], st.DU[3], st.FT[1], st.FT[3]};
  for (int32_t i = 1; i <= 4; ++i) {
    st.STX(1, i) = x[i - 1];
    st.STY(1, i) = y[i - 1];
  }
  st.FNZ(1) = st.FT[2];
}

// The state of station k as passed to a transfer matrix, with the given signs of theta and M.
void state(const Table<float, MAX_STATIONS, 4>& table, int32_t k, float theta_sign, float m_sign,
           float* v) {
  v[0] = table(k, 1);
  v[1] = theta_sign < 0.0f ? -table(k, 2) : table(k, 2);
  v[2] = table(k, 3);
  v[3] = m_sign < 0.0f ? -table(k, 4) : table(k, 4);
}

// Stores a transferred state at station k, undoing the signs it was passed with.
void store(Table<float, MAX_STATIONS, 4>& table, int32_t k, float theta_sign, float m_sign,
           const float* v) {
  table(k, 1) = v[0];
  table(k, 2) = theta_sign < 0.0f ? -v[1] : v[1];
  table(k, 3) = v[2];
  table(k, 4) = m_sign < 0.0f ? -v[3] : v[3];
}

void above_ground(int32_t g, const PileData& piles, StationTables& st, int32_t& k) {
  Matrix4 T;
  float X[4], Y[4], Xn[4], Yn[4];
  for (int32_t s = 1; s <= piles.NFR(g); ++s) {
    const float h = piles.HFR(g, s) / static_cast<float>(piles.NSF(g, s));
    FRSEG(bending_stiffness(piles, g, piles.DOF(g, s)), h, T);
    for (int32_t step = 1; step <= piles.NSF(g, s); ++step) {
      state(st.STX, k, 1.0f, 1.0f, X);
      state(st.STY, k, -1.0f, -1.0f, Y);
      MATMUL(4, 4, 1, T.data(), X, Xn);
      MATMUL(4, 4, 1, T.data(), Y, Yn);
      k = k + 1;
      store(st.STX, k, 1.0f, 1.0f, Xn);
      store(st.STY, k, -1.0f, -1.0f, Yn);
      st.ZH(k) = st.ZH(k - 1) + h;
      st.FNZ(k) = st.FNZ(k - 1);
    }
  }
}

void below_ground(int32_t g, const SegmentReals& BTX, const SegmentReals& BTY, const PileReals& ZBL,
                  const PileData& piles, BelowGroundCache& cache, StationTables& st, int32_t& k) {
  Matrix4 T;
  float X[4], Y[4], Xn[4], Yn[4];
  const float ZG = st.ZH(st.KG);
  for (int32_t s = 1; s <= piles.NBL(g); ++s) {
    const float h = piles.HBL(g, s) / static_cast<float>(piles.NSG(g, s));
    const float EI = bending_stiffness(piles, g, piles.DOB(g, s));
    for (int32_t step = 1; step <= piles.NSG(g, s); ++step) {
      const float z1 = st.ZH(k) - ZG;
      const float z2 = z1 + h;
      state(st.STX, k, 1.0f, -1.0f, X);
      state(st.STY, k, -1.0f, 1.0f, Y);
      cache.matrix(BTX(g, s), EI, z1, z2, T);
      MATMUL(4, 4, 1, T.data(), X, Xn);
      if (std::fabs(BTX(g, s) - BTY(g, s)) > EQUAL_PLANES) {
        cache.matrix(BTY(g, s), EI, z1, z2, T);
      }
      MATMUL(4, 4, 1, T.data(), Y, Yn);
      k = k + 1;
      store(st.STX, k, 1.0f, -1.0f, Xn);
      store(st.STY, k, -1.0f, 1.0f, Yn);
      st.ZH(k) = st.ZH(k - 1) + h;
      st.PSX(k) = piles.PMT(g, s) * st.STX(k, 1) * z2;
      st.PSY(k) = piles.PMT(g, s) * st.STY(k, 1) * z2;
      if (piles.KSU(g) < 3) {
        st.FNZ(k) = st.FNZ(st.KG) * (1.0f - z2 * z2 / (ZBL(g) * ZBL(g)));
      } else {
        st.FNZ(k) = st.FNZ(k - 1);
      }
    }
  }
}

}  // namespace

void compute_stations(int32_t g, const SegmentReals& BTX, const SegmentReals& BTY,
                      const PileReals& ZBL, const Table<float, MAX_PILES, 6>& TOPD,
                      const PileData& piles, BelowGroundCache& cache, StationTables& st) {
  pile_top(g, TOPD, piles, st);
  int32_t k = 1;
  above_ground(g, piles, st, k);
  st.KG = k;
  st.PSX(k) = 0.0f;
  st.PSY(k) = 0.0f;
  below_ground(g, BTX, BTY, ZBL, piles, cache, st, k);
  st.NSTA = k;
  for (int32_t above = 1; above < st.KG; ++above) {
    st.PSX(above) = 0.0f;
    st.PSY(above) = 0.0f;
  }
}

void PILE_RESULTS(OutChannel& report, OutChannel& pos, int32_t PNUM, const SegmentReals& BTX,
                  const SegmentReals& BTY, const PileReals& ZBL,
                  const Table<float, MAX_PILES, 6>& TOPD, const PileData& piles,
                  BelowGroundCache& cache) {
  StationTables st;  // reused pile by pile
  write_pos_header(pos, PNUM, piles);
  for (int32_t g = 1; g <= PNUM; ++g) {
    fault_context().pile = g;
    compute_stations(g, BTX, BTY, ZBL, TOPD, piles, cache, st);
    write_pile_section(report, g, piles, st);
    write_pos_records(pos, g, piles, st);
  }
  fault_context().pile = 0;
}

}  // namespace kelmarino
