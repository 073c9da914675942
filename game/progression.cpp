// Run progression and upgrades (see progression.h).
#include "game/progression.h"
#include "game/entlingApi.h"

int cur_level = 1;
int up_points = 0;
float hero_shoot_rate = 10.0f;
int bullet_wall_destr = 2;

namespace {

// The hero's health lives in the actor library: a new run sets it there.
struct HealthUp : Upgrade {
  void reset() override {
    if (set_hero_health) set_hero_health(4);
  }
  TempString<32> getName() override { return "Health"; }
  int getCost() override { return 5; }
  void buy() override {
    if (set_hero_health && get_hero_health) set_hero_health(get_hero_health() + 1);
  }
};

struct FireRateUp : Upgrade {
  void reset() override { hero_shoot_rate = 10.0f; }
  TempString<32> getName() override { return "Fire rate"; }
  int getCost() override { return 3; }
  void buy() override { hero_shoot_rate += 1.0f; }
};

struct WallDestrUp : Upgrade {
  void reset() override { bullet_wall_destr = 2; }
  TempString<32> getName() override { return "Wall destruction"; }
  int getCost() override { return 5; }
  bool isAvailable() override { return bullet_wall_destr < 4; }
  void buy() override { bullet_wall_destr += 1; }
};

HealthUp health_up;
FireRateUp fire_rate_up;
WallDestrUp wall_destr_up;
Upgrade* const upgrades[] = {&health_up, &fire_rate_up, &wall_destr_up, nullptr};

}  // namespace

void reset_game() {
  cur_level = 1;
  up_points = 0;
  for (Upgrade* const* u = upgrades; *u; u++) (*u)->reset();
}

void advance_level() {
  cur_level += 1;
  up_points += 5;
}

void get_upgrades(DynArray<Upgrade*>& out) {
  for (Upgrade* const* u = upgrades; *u; u++)
    if ((*u)->isAvailable() && (*u)->getCost() <= up_points) out.push_back(*u);
}
