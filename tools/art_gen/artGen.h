// The generators of the game's data, each writing its files into the program folder `dir`.
#pragma once
#include <string>

bool generate_fonts(const std::string& dir);
bool generate_sprites(const std::string& dir);
bool generate_textures(const std::string& dir);
