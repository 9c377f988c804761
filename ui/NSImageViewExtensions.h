#pragma once
// Fills an image view from a file, the media cache or the network (the badge images of the
// GIF tiles).

#include <memory>

class NSImageView;
class NSURL;
class NSURLSessionDataTask;

// Reads a file URL at once, answers a cached remote URL from the media cache, and otherwise
// downloads (and caches) it, answering the started task so that the caller may cancel it.
// The image is set on the main queue if the view still exists; failures leave it as it was.
std::shared_ptr<NSURLSessionDataTask> networkLoadImageWithPath(const std::shared_ptr<NSImageView>& view,
                                                               const std::shared_ptr<NSURL>& url);
