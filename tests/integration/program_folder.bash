# Shared by the integration scripts that edit data while the game runs: a program folder of their
# own, with everything start-up needs (the debug font and shaders, sprites, textures, the sound
# script and sounds, the tiles the scene builds its level from, the shader compiler and the actor
# library), so the edits leave the build's files alone.
copy_program_folder() {  # game, destination folder
  local src_dir
  src_dir=$(dirname "$1")
  cp "$1" "$2/game"
  cp -r "$src_dir/sound" "$src_dir/sprites" "$src_dir/tiles" "$2/"
  cp "$src_dir/font.tga" "$src_dir"/*.sh "$src_dir"/*.dds "$src_dir"/*.fnt "$src_dir/d3dcompiler_43.dll" "$src_dir/entling.dll" "$2/"
}
