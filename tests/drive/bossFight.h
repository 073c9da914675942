// The scripted player's boss fight (bossFight.cpp).
//
// Whenever the boss lives and the hero is on its floor near it, the player fights it instead of
// following the rooms (fight_boss). Each update it looks 0.8 s ahead for a few button choices
// (stand, walk either way, and the same with a jump), the hero running and jumping as it does and
// the boss's bullets and bombs flying on, and takes the choice that is not hit and best keeps the
// spot it wants. It shoots at a cell of the body's subparts that a shot from its shoulder reaches
// through no armour and the fewest hull cells, the core before the plates. The spot is chosen again
// every half second on the floor in front of the boss: where such a shot exists standing, or else
// from the top of a jump (then it jumps there and shoots on the way up and down).
#pragma once
#include <stdint.h>
#include <vector>
#include "driveWorld.h"

namespace world_drive {

const int FIGHT_LOOKAHEAD = 64;  // sub-steps: 0.8 s
// The camera stays 0.3 of the way from the hero to the pointer, so the pointer reaches a point up
// to about 150 cells to the side of the hero (and 85 above) on the 640 x 360 screen; a spot to fight
// from leaves a margin, as the boss walks and the hero dodges.
const float FIGHT_REACH = 140;

struct BossFight {
  PartView* body = nullptr;
  std::vector<int8_t> region;  // per body cell: the index of its subpart's seed, -1 for none
  int regionW = 0, regionH = 0;
  float floorY = 0;       // the floor the hero fights on
  float spotX = 0;        // where it wants to stand
  bool spotApex = false;  // shooting from the top of a jump there
  int spotAge = 1 << 20;  // updates since the spot was chosen
  int jumpIn = -1;        // sub-steps to a jump planned for later (-1 none)
  int updates = 0;        // of the fight
  int lastVolley = -1;    // the update of the guns' last volley (-1 none seen)
  // The next volley, fired half a second after the last one: each gun's muzzle and the bullet's
  // velocity, the guns turned towards the hero as far as they can turn meanwhile.
  int volleyIn = -1;  // sub-steps from now (-1 none expected)
  vec4float volleyAt[2], volleyVel[2];
};

// The guns' next volley as the boss will fire it (its guns are parts 5 and 7 while it is whole).
// One update of the fight: the buttons and the aim. False when there is no boss to fight here (none
// alive, or the hero is not on its floor near it).
bool fight_boss(BossFight& f, const HeroView* h, bool b[4]);

}  // namespace world_drive
