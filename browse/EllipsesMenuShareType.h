#pragma once
// The copy actions of a GIF cell's ellipsis menu.
enum class EllipsesMenuShareType : int { copyGif = 0, copyLink = 1, copyEmbed = 2 };
