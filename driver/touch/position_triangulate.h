// Sight-line intersection and the matching cost that keeps touch identities.
#pragma once

#include "touch/optical_context.h"
#include "touch/position_lens.h"

namespace position {

// Upper bound of a mismatch; two size estimates that cannot be compared at all get it.
inline constexpr double kMismatchLimit = 1.0e6;
// Cost of matching nothing against nothing; a one-sided match costs (MaxStep + this) / 2.
inline constexpr double kUnmatchedCost = 200.0;

inline constexpr SolvedPoint kNoPoint{};

// Where the centre sight lines of the two spans meet, in baseline units, with the finger's
// size and how far the two cameras' size estimates disagree. Invalid when the lines do not
// meet at a finite point ahead of both cameras.
SolvedPoint Triangulate(const AngleSpan& spanA, const AngleSpan& spanB);

// Euclidean x, y distance.
double Distance(const SolvedPoint& p, const SolvedPoint& q);

// Cost of taking candidate p (nullptr: no candidate) as the continuation of reference q.
double Cost(const SolvedPoint* p, const SolvedPoint& q, double maxStep);

}  // namespace position
