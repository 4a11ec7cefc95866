#pragma once
// The JSON codec: the decoder, the serializer, their collections and the
// one-call entry points on strings, data, arrays and dictionaries.

#include "json/jk_base.h"
#include "json/jk_collections.h"
#include "json/jk_object.h"
#include "json/json_decoder.h"
#include "json/json_serializer.h"
