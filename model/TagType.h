#pragma once
// The kind of tag list a tag came from; unknownDefault until a requester classifies it.
enum class TagType { reactions, trending, explore, emoji, unknownDefault };
