#include "zelko/graph.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "jsonld/breadcrumbs.hpp"
#include "jsonld/builders.hpp"
#include "social.hpp"
#include "text.hpp"
#include "zelko/builder.hpp"
#include "zelko/json.hpp"

namespace zelko {
namespace {

using namespace std::string_view_literals;

constexpr std::string_view kPlaceholder = "{search_term_string}";

// What the primary entity of a page is, by its Schema.org type name.
enum class Primary {
  None,     // no node of its own: the web page says it all
  Home,     // the website is the entity; the page is about the identity
  WebPage,  // the web page takes the type name (FAQPage, CollectionPage)
  Article,  // Article, BlogPosting, NewsArticle
  Product,
  Video,
  Organization,
  LocalBusiness,
  Other,  // a type without a built-in builder: a node of that type
};

struct PrimaryName {
  std::string_view type_name;
  Primary kind;
  std::string_view fragment;
};

constexpr std::array<PrimaryName, 12> kPrimaries{{
    {"Article", Primary::Article, "#article"},
    {"BlogPosting", Primary::Article, "#article"},
    {"NewsArticle", Primary::Article, "#article"},
    {"Product", Primary::Product, "#product"},
    {"VideoObject", Primary::Video, "#video"},
    {"Organization", Primary::Organization, "#organization"},
    {"LocalBusiness", Primary::LocalBusiness, "#localbusiness"},
    {"FAQPage", Primary::WebPage, ""},
    {"WebPage", Primary::WebPage, ""},
    {"CollectionPage", Primary::WebPage, ""},
    {"SearchResultsPage", Primary::WebPage, ""},
    {"WebSite", Primary::Home, ""},
}};

std::string_view without_trailing_slashes(std::string_view text) {
  while (text.ends_with('/')) text.remove_suffix(1);
  return text;
}

std::string_view without_fragment(std::string_view url) {
  return url.substr(0, url.find('#'));
}

// Unreserved characters stay, every other byte becomes %XX.
std::string percent_encoded(std::string_view text) {
  static constexpr std::string_view kHex = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const bool unreserved = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                            (c >= '0' && c <= '9') || c == '-' || c == '.' ||
                            c == '_' || c == '~';
    if (unreserved) {
      out.push_back(c);
    } else {
      out.push_back('%');
      out.push_back(kHex[byte >> 4]);
      out.push_back(kHex[byte & 0xF]);
    }
  }
  return out;
}

// Writes the graph as compact JSON text, node by node, each node's members
// in byte order of their keys (the order a JsonValue holds them in), so the
// text is what writing the same graph as a JsonValue gives.
class GraphBuilder {
 public:
  GraphBuilder(const GraphPage& page, std::string& out)
      : page_(page),
        entity_(page.entity),
        config_(page.config),
        base_(without_trailing_slashes(config_.public_base_url)),
        page_url_(without_fragment(page.payload.canonical)),
        image_(choose_og_image(
            entity_, config_,
            page.overrides != nullptr ? *page.overrides : no_overrides_)),
        json_(out, /*pretty=*/false) {
    if (page.identity != nullptr) {
      identity_ = *page.identity;
    } else if (config_.publisher_name) {
      Organization publisher;
      publisher.name = *config_.publisher_name;
      publisher.logo = config_.publisher_logo;
      identity_ = std::move(publisher);
    }
    website_id_ = site_id("#website");
    if (identity_) {
      identity_id_ = site_id(std::holds_alternative<Organization>(*identity_)
                                 ? "#organization"
                                 : "#person");
    }
    home_ = site_id("");
    webpage_id_ = page_id("#webpage");
    if (image_ != nullptr) {
      image_id_ = page_id("#primaryimage");
      image_url_ = absolute(image_->url);
    }
    find_primary();
    if (names_author()) author_id_ = author_id();
    if (language_) {
      std::replace(language_->begin(), language_->end(), '_', '-');
    }
  }

  Status write() {
    json_.begin_object();
    json_.member("@context", kSchemaOrgUrl);
    json_.key("@graph");
    json_.begin_array();
    website();
    if (identity_) identity();
    web_page();
    if (primary_ != Primary::None && primary_ != Primary::Home &&
        primary_ != Primary::WebPage) {
      primary();
    }
    if (entity_.breadcrumbs) {
      if (Status status = breadcrumb_list(); !status) return status;
    }
    if (image_ != nullptr) primary_image();
    if (!author_id_.empty() && author_id_ != identity_id_) {
      json_.begin_object();
      json_.member("@id", author_id_);
      json_.member("@type", "Person");
      json_.member("name", *entity_.author_name);
      json_.end_object();
    }
    json_.end_array();
    json_.end_object();
    return {};
  }

 private:
  [[nodiscard]] std::string site_id(std::string_view fragment) const {
    std::string id(base_);
    id += '/';
    id += fragment;
    return id;
  }
  [[nodiscard]] std::string page_id(std::string_view fragment) const {
    std::string id(page_url_);
    id += fragment;
    return id;
  }
  [[nodiscard]] std::string absolute(std::string_view value) const {
    return absolute_asset_url(value, config_);
  }
  [[nodiscard]] std::string author_id() const {
    if (const auto* person =
            identity_ ? std::get_if<Person>(&*identity_) : nullptr;
        person != nullptr && person->name == *entity_.author_name) {
      return identity_id_;
    }
    std::string fragment = "#author/";
    fragment.append(percent_encoded(*entity_.author_name));
    return site_id(fragment);
  }

  void find_primary() {
    const bool generated =
        config_.auto_generate_schema &&
        (page_.overrides == nullptr || !page_.overrides->omit_schema);
    const auto mapped =
        config_.schema_type_map.find(to_text(entity_.entity_type));
    if (mapped == config_.schema_type_map.end()) return;
    type_name_ = mapped->second;
    const auto known = std::find_if(
        kPrimaries.begin(), kPrimaries.end(),
        [&](const PrimaryName& p) { return p.type_name == type_name_; });
    if (known != kPrimaries.end()) {
      primary_ = known->kind;
      primary_id_ = page_id(known->fragment);
    } else {
      primary_ = Primary::Other;
      std::string lower;
      for (const char c : type_name_) lower.push_back(ascii_lower(c));
      std::string fragment = "#";
      fragment.append(percent_encoded(lower));
      primary_id_ = page_id(fragment);
    }
    // Without a generated node the page keeps its plain web page.
    if (!generated) primary_ = Primary::None;
    // An entity that is the site's own identity (its page at the root) is
    // described once, by the identity, which the page is then about.
    if (primary_id_ == identity_id_ && !identity_id_.empty()) {
      primary_ = Primary::None;
      about_identity_ = true;
    }
  }

  // Creative works have an author (and carry the page's dates); other
  // entities leave both to the web page.
  [[nodiscard]] bool is_creative_work() const {
    return primary_ == Primary::Article || primary_ == Primary::Video ||
           primary_ == Primary::Other;
  }
  [[nodiscard]] bool names_author() const {
    return entity_.author_name && is_creative_work();
  }
  [[nodiscard]] bool has_description() const {
    return !page_.payload.description.empty();
  }

  // --- Members

  void node_start(std::string_view id, std::string_view type) {
    json_.begin_object();
    if (!id.empty()) json_.member("@id", id);
    json_.member("@type", type);
  }
  void reference(std::string_view key, std::string_view id) {
    json_.key(key);
    json_.begin_object();
    json_.member("@id", id);
    json_.end_object();
  }
  void list(std::string_view key, const std::vector<std::string>& values) {
    if (!values.empty()) json_.member(key, values);
  }
  void postal_address(std::string_view street) {
    json_.key("address");
    node_start({}, "PostalAddress");
    json_.member("streetAddress", street);
    json_.end_object();
  }
  void image_object(std::string_view key, std::string_view id,
                    std::string_view url) {
    json_.key(key);
    node_start(id, "ImageObject");
    json_.member("contentUrl", url);
    json_.member("url", url);
    json_.end_object();
  }
  void dates() {
    json_.optional_member("dateModified", entity_.updated_at);
    json_.optional_member("datePublished", entity_.published_at);
  }
  void description() {
    if (has_description())
      json_.member("description", page_.payload.description);
  }
  void page_image() {
    if (image_ != nullptr) reference("image", image_id_);
  }

  // --- Nodes

  void website() {
    node_start(website_id_, "WebSite");
    json_.optional_member("inLanguage", language_);
    json_.optional_member("name", config_.site_name);
    const std::optional<std::string>& search = config_.search_url_template;
    if (search && search->find(kPlaceholder) != std::string::npos) {
      json_.key("potentialAction");
      node_start({}, "SearchAction");
      json_.member("query-input", "required name=search_term_string");
      json_.key("target");
      node_start({}, "EntryPoint");
      json_.member("urlTemplate", *search);
      json_.end_object();
      json_.end_object();
    }
    if (identity_) reference("publisher", identity_id_);
    json_.member("url", home_);
    json_.end_object();
  }

  void identity() {
    const std::string& home = home_;
    if (const auto* org = std::get_if<Organization>(&*identity_)) {
      const std::string logo_id = site_id("#logo");
      node_start(identity_id_, "Organization");
      if (org->address) postal_address(*org->address);
      json_.optional_member("email", org->email);
      if (org->logo) reference("image", logo_id);
      json_.optional_member("legalName", org->legal_name);
      if (org->logo) image_object("logo", logo_id, absolute(*org->logo));
      json_.member("name", org->name);
      list("sameAs", org->same_as);
      json_.optional_member("telephone", org->telephone);
      json_.member("url", org->url ? absolute(*org->url) : home);
      json_.end_object();
      return;
    }
    const Person& person = std::get<Person>(*identity_);
    node_start(identity_id_, "Person");
    if (person.image) {
      image_object("image", site_id("#personimage"), absolute(*person.image));
    }
    json_.optional_member("jobTitle", person.job_title);
    json_.member("name", person.name);
    list("sameAs", person.same_as);
    json_.member("url", person.url ? absolute(*person.url) : home);
    json_.end_object();
  }

  void web_page() {
    node_start(webpage_id_, primary_ == Primary::WebPage
                                ? std::string_view(type_name_)
                                : std::string_view("WebPage"));
    if ((primary_ == Primary::Home || about_identity_) && identity_) {
      reference("about", identity_id_);
    } else if (primary_ == Primary::Organization ||
               primary_ == Primary::LocalBusiness) {
      reference("about", primary_id_);
    }
    if (entity_.breadcrumbs) reference("breadcrumb", page_id("#breadcrumb"));
    if (!is_creative_work()) dates();
    description();
    page_image();
    json_.optional_member("inLanguage", language_);
    reference("isPartOf", website_id_);
    if (primary_ == Primary::WebPage && type_name_ == "FAQPage" &&
        entity_.faq_items) {
      questions(*entity_.faq_items);
    }
    json_.member("name", page_.payload.title);
    if (image_ != nullptr) {
      reference("primaryImageOfPage", image_id_);
    }
    json_.member("url", page_.payload.canonical);
    json_.end_object();
  }

  void questions(const std::vector<FAQItem>& items) {
    json_.key("mainEntity");
    json_.begin_array();
    std::size_t number = 0;
    for (const FAQItem& item : items) {
      std::string fragment = "#question-";
      fragment.append(std::to_string(++number));
      node_start(page_id(fragment), "Question");
      json_.key("acceptedAnswer");
      node_start({}, "Answer");
      json_.member("text", item.answer);
      json_.end_object();
      json_.member("name", item.question);
      json_.end_object();
    }
    json_.end_array();
  }

  void primary() {
    node_start(primary_id_, type_name_);
    switch (primary_) {
      case Primary::Product:
        product();
        break;
      case Primary::Organization:
      case Primary::LocalBusiness:
        organization();
        break;
      default:
        creative_work();
        break;
    }
    json_.end_object();
  }

  void creative_work() {
    const bool article = primary_ == Primary::Article;
    if (!author_id_.empty()) reference("author", author_id_);
    dates();
    description();
    if (article) json_.member("headline", page_.payload.title);
    page_image();
    json_.optional_member("inLanguage", language_);
    reference("mainEntityOfPage", webpage_id_);
    if (!article) json_.member("name", page_.payload.title);
    if (identity_) reference("publisher", identity_id_);
    if (primary_ == Primary::Video) {
      if (image_ != nullptr) json_.member("thumbnailUrl", image_url_);
      json_.optional_member("uploadDate", entity_.published_at);
    }
    if (primary_ == Primary::Other)
      json_.member("url", page_.payload.canonical);
  }

  void product() {
    description();
    page_image();
    reference("mainEntityOfPage", webpage_id_);
    json_.member("name", page_.payload.title);
    if (entity_.price || entity_.price_currency || entity_.availability) {
      json_.key("offers");
      node_start({}, "Offer");
      if (const auto& availability = entity_.availability) {
        // A full URL is kept; a bare word ("InStock") gets the vocabulary.
        std::string url;
        if (!availability->starts_with("http://") &&
            !availability->starts_with("https://")) {
          url.append(kSchemaOrgUrl).append("/");
        }
        url.append(*availability);
        json_.member("availability", url);
      }
      json_.optional_member("price", entity_.price);
      json_.optional_member("priceCurrency", entity_.price_currency);
      json_.member("url", page_.payload.canonical);
      json_.end_object();
    }
    json_.optional_member("sku", entity_.sku);
    json_.member("url", page_.payload.canonical);
  }

  void organization() {
    if (primary_ == Primary::LocalBusiness && entity_.address) {
      postal_address(*entity_.address);
    }
    description();
    page_image();
    reference("mainEntityOfPage", webpage_id_);
    json_.member("name", page_.payload.title);
    if (entity_.same_as) list("sameAs", *entity_.same_as);
    json_.member("url", page_.payload.canonical);
  }

  // The payload's own list when it holds one (its URLs are resolved
  // already), else one made here.
  Status breadcrumb_list() {
    node_start(page_id("#breadcrumb"), "BreadcrumbList");
    json_.key("itemListElement");
    if (const JsonValue* items = payload_breadcrumbs()) {
      json_.value(*items);
    } else {
      Result<JsonValue> list =
          build_breadcrumb_list(*entity_.breadcrumbs, config_);
      if (!list) return std::move(list).error();
      json_.value(list->at("itemListElement"));
    }
    json_.end_object();
    return {};
  }

  [[nodiscard]] const JsonValue* payload_breadcrumbs() const {
    const std::optional<JsonValue>& schema = page_.payload.schema_jsonld;
    if (!schema) return nullptr;
    const JsonValue& last =
        schema->is_array() && !schema->empty() ? schema->back() : *schema;
    if (!last.is_object()) return nullptr;
    const auto type = last.find("@type");
    const auto items = last.find("itemListElement");
    if (type == last.end() || *type != "BreadcrumbList" ||
        items == last.end() || last.size() != 3) {
      return nullptr;
    }
    return &*items;
  }

  void primary_image() {
    node_start(image_id_, "ImageObject");
    json_.optional_member("caption", image_->alt);
    json_.member("contentUrl", image_url_);
    json_.optional_member("height", image_->height);
    json_.member("url", image_url_);
    json_.optional_member("width", image_->width);
    json_.end_object();
  }

  const GraphPage& page_;
  const SEOEntity& entity_;
  const SEOConfig& config_;
  const SEOOverrides no_overrides_;
  std::string_view base_;
  std::string_view page_url_;
  const SEOImage* image_;
  JsonWriter json_;
  std::optional<std::string> language_ = config_.locale;
  std::optional<Identity> identity_;
  std::string website_id_;
  std::string identity_id_;
  std::string home_;
  std::string webpage_id_;
  std::string image_id_;   // set with an image
  std::string image_url_;  // the image made absolute
  std::string author_id_;
  Primary primary_ = Primary::None;
  std::string type_name_;
  std::string primary_id_;
  bool about_identity_ = false;
};

// A user's node (or the nodes of an array or a "@graph" object) joined to
// `nodes` by "@id". Nesting is bounded by the JSON reader already; the
// depth guard keeps this walk shallow whatever the value.
void join(JsonValue::array_t& nodes, const JsonValue& value, int depth) {
  if (depth > 2) return;
  if (value.is_array()) {
    for (const JsonValue& item : value) join(nodes, item, depth + 1);
    return;
  }
  if (!value.is_object()) return;
  const auto graph = value.find("@graph");
  if (graph != value.end() && graph->is_array()) {
    for (const JsonValue& item : *graph) join(nodes, item, depth + 1);
    return;
  }
  JsonValue node = value;
  const auto context = node.find("@context");
  if (context != node.end() && context->is_string()) {
    const std::string_view text =
        without_trailing_slashes(context->get_ref<const std::string&>());
    if (text == kSchemaOrgUrl || text == "http://schema.org"sv) {
      node.erase(context);
    }
  }
  const auto id = node.find("@id");
  if (id != node.end() && id->is_string()) {
    for (JsonValue& own : nodes) {
      const auto own_id = own.find("@id");
      if (own_id != own.end() && *own_id == *id) {
        own = std::move(node);
        return;
      }
    }
  }
  nodes.push_back(std::move(node));
}

void append_flat(const JsonValue& schema, std::vector<JsonValue>& out) {
  if (!schema.is_array()) {
    out.push_back(schema);
    return;
  }
  for (const JsonValue& node : schema) out.push_back(node);
}

}  // namespace

Result<std::string> write_jsonld_graph(const GraphPage& page,
                                       std::span<const JsonValue> user_nodes) {
  std::string text;
  text.reserve(4096);
  if (Status status = GraphBuilder(page, text).write(); !status) {
    return std::move(status).error();
  }
  if (user_nodes.empty()) return text;
  // The caller's nodes join the graph as values; the text is written again.
  Result<JsonValue> graph = parse_json(text);
  if (!graph) return std::move(graph).error();
  auto& nodes = graph->at("@graph").get_ref<JsonValue::array_t&>();
  for (const JsonValue& node : user_nodes) join(nodes, node, 0);
  return write_json(*graph, /*pretty=*/false);
}

Result<std::vector<JsonValue>> supplied_nodes(
    const GraphPage& page, std::optional<std::string_view> route) {
  std::vector<JsonValue> supplied;
  if (!page.payload.schema_jsonld) return supplied;
  std::vector<JsonValue> own;
  if (route) {
    SEOOverrides without_schema =
        page.overrides != nullptr ? *page.overrides : SEOOverrides{};
    without_schema.schema_jsonld.reset();
    Result<SEOPayload> rebuilt =
        build_seo_payload(page.entity, *route, page.config, &without_schema);
    if (!rebuilt) return std::move(rebuilt).error();
    if (rebuilt->schema_jsonld) append_flat(*rebuilt->schema_jsonld, own);
  } else if (page.config.auto_generate_schema) {
    const SEOOverrides none;
    const SEOImage* image =
        choose_og_image(page.entity, page.config,
                        page.overrides != nullptr ? *page.overrides : none);
    const SchemaContext ctx{
        .entity = page.entity,
        .config = page.config,
        .url = page.payload.canonical,
        .name = page.payload.title,
        .description = page.payload.description,
        .image = image != nullptr ? std::optional<std::string_view>(image->url)
                                  : std::nullopt,
        .registry = nullptr,
    };
    Result<std::optional<JsonValue>> generated = generate_schema(ctx);
    if (!generated) return std::move(generated).error();
    if (*generated) append_flat(**generated, own);
  }
  if (!route && page.entity.breadcrumbs) {
    Result<JsonValue> list =
        build_breadcrumb_list(*page.entity.breadcrumbs, page.config);
    if (!list) return std::move(list).error();
    own.push_back(std::move(*list));
  }
  std::vector<JsonValue> given;
  append_flat(*page.payload.schema_jsonld, given);
  for (JsonValue& node : given) {
    const auto same = [&](const JsonValue& mine) { return mine == node; };
    if (std::none_of(own.begin(), own.end(), same)) {
      supplied.push_back(std::move(node));
    }
  }
  return supplied;
}

}  // namespace zelko
