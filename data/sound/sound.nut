// The game's sounds: loads the samples and the music, and says what each sound event plays.
// Every member of `events` is called without arguments, starts its sound and returns the channel
// (0 when there is none); the game then pans it by the event's position.
// Edit this file in bin/sound/ while the game runs: it is run again within a second.

local function sample(name, max_playbacks = 4, flags = 0) {
  return load_sample("sound/" + name, max_playbacks, flags)
}

snd <- {
  shoot = sample("shoot.wav", 6)
  jump = sample("jump.wav", 2)
  hurt = sample("hurt.wav", 2)
  dead = sample("dead.wav", 1)
  game_over = sample("game_over.wav", 1)
  spot = sample("spot.wav", 3)
  enemy_hurt = sample("enemy_hurt.wav", 4)
  enemy_dead = sample("enemy_dead.wav", 4)
  magnet_jump = sample("magnet_jump.wav", 3)
  enemy_jump = sample("enemy_jump.wav", 4)
  enemy_shoot = sample("enemy_shoot.wav", 6)
  burst = sample("burst.wav", 3)
  charge = sample("charge.wav", 3)
  flyer_turn = sample("flyer_turn.wav", 3)
  wall_break = sample("wall_break.wav", 6)
  ricochet = sample("ricochet.wav", 4)
  elevator = sample("elevator.wav", 1)
  screen = sample("screen.wav", 1)
  plus = sample("plus.wav", 2)
  minus = sample("minus.wav", 2)
  accept = sample("accept.wav", 1)
  start_level = sample("start_level.wav", 1)
  title = sample("title.wav", 1)
  new_game = sample("new_game.wav", 1)
  explosion = sample("explosion.wav", 4)
  heart = sample("heart.wav", 2)
  up_point = sample("up_point.wav", 3)
  boss_hit = sample("boss_hit.wav", 3)
  boss_part_explode = sample("boss_part_explode.wav", 3)
  boss_dead = sample("boss_dead.wav", 1)
  boss_alarm = sample("boss_alarm.wav", 1)
  boss_shoot = sample("boss_shoot.wav", 3)
  bomb_drop = sample("bomb_drop.wav", 3)
  boss_dying = sample("boss_dying.wav", 1)
}

// The music: an intro, then the part from 10.5 s on repeats.
music <- load_music("sound/music.wav", 10.5)
music_volume <- 0.45

// Starts a sample at the given volume; `spread` varies the volume a little at random so that
// repeated sounds do not all sound the same.
function play(s, volume = 1.0, spread = 0.0) {
  local ch = get_channel(s)
  if (ch == 0) return 0
  if (spread > 0.0) volume -= spread * (game_rnd() % 1000) / 1000.0
  set_channel_volume(ch, volume)
  play_channel(ch, true)
  return ch
}

function start_music() {
  if (music == 0) return
  set_channel_volume(music, music_volume)
  play_channel(music, false)
}

events <- {
  hero_shoot = function() { return play(::snd.shoot, 0.7, 0.1) }
  hero_jump = function() { return play(::snd.jump, 0.6) }
  hero_hurt = function() { return play(::snd.hurt, 0.9) }
  hero_dead = function() { return play(::snd.dead) }
  game_over = function() {
    if (::music != 0) fade_out_and_stop(::music, 1500)
    return play(::snd.game_over)
  }
  enemy_spots_hero = function() { return play(::snd.spot, 0.6) }
  enemy_hurt = function() { return play(::snd.enemy_hurt, 0.7, 0.15) }
  enemy_dead = function() { return play(::snd.enemy_dead, 0.8) }
  enemy_magnet_jump = function() { return play(::snd.magnet_jump, 0.6) }
  enemy_jump = function() { return play(::snd.enemy_jump, 0.5) }
  enemy_shoot = function() { return play(::snd.enemy_shoot, 0.6, 0.1) }
  enemy_shoot_burst = function() { return play(::snd.burst, 0.6) }
  enemy_charge_gun = function() { return play(::snd.charge, 0.5) }
  enemy_flyer_change_dir = function() { return play(::snd.flyer_turn, 0.4) }
  bullet_destroys_wall = function() { return play(::snd.wall_break, 0.6, 0.2) }
  bullet_hits_indestructible = function() { return play(::snd.ricochet, 0.5, 0.2) }
  ascenda_elevator = function() { return play(::snd.elevator, 0.7) }
  upgrade_screen = function() { return play(::snd.screen, 0.7) }
  upgrade_plus = function() { return play(::snd.plus, 0.7) }
  upgrade_minus = function() { return play(::snd.minus, 0.7) }
  upgrade_accept = function() { return play(::snd.accept, 0.8) }
  start_level = function() {
    ::start_music()
    return play(::snd.start_level, 0.8)
  }
  title_screen = function() { return play(::snd.title, 0.7) }
  new_game = function() { return play(::snd.new_game, 0.8) }
  barrel_explode = function() { return play(::snd.explosion, 1.0, 0.1) }
  bonus_heart = function() { return play(::snd.heart, 0.8) }
  bonus_up = function() { return play(::snd.up_point, 0.8) }
  boss_part_damaged = function() { return play(::snd.boss_hit, 0.7, 0.1) }
  boss_part_explode = function() { return play(::snd.boss_part_explode, 0.9) }
  boss_dead = function() {
    if (::music != 0) fade_out_and_stop(::music, 2000)
    return play(::snd.boss_dead, 1.0)
  }
  boss1_activated = function() { return play(::snd.boss_alarm, 0.8) }
  boss1_shoot = function() { return play(::snd.boss_shoot, 0.7, 0.1) }
  boss1_drop_bomb = function() { return play(::snd.bomb_drop, 0.6) }
  boss1_dying = function() { return play(::snd.boss_dying, 0.9) }
}
