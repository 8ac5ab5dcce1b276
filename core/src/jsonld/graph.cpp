#include "zelko/graph.hpp"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <utility>

#include "jsonld/breadcrumbs.hpp"
#include "jsonld/builders.hpp"
#include "social.hpp"
#include "text.hpp"

namespace zelko {
namespace {

using Object = JsonValue::object_t;
using namespace std::string_view_literals;

constexpr std::string_view kPlaceholder = "{search_term_string}";

// What the primary entity of a page is, by its Schema.org type name.
enum class Primary {
  None,       // no node of its own: the web page says it all
  Home,       // the website is the entity; the page is about the identity
  WebPage,    // the web page takes the type name (FAQPage, CollectionPage)
  Article,    // Article, BlogPosting, NewsArticle
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

JsonValue reference(std::string_view id) {
  JsonValue node = JsonValue::object();
  node.get_ref<Object&>().emplace("@id", id);
  return node;
}

JsonValue new_node(std::string_view id, std::string_view type) {
  JsonValue node = JsonValue::object();
  auto& members = node.get_ref<Object&>();
  if (!id.empty()) members.emplace("@id", id);
  members.emplace("@type", type);
  return node;
}

void set(JsonValue& node, std::string_view key, JsonValue value) {
  node.get_ref<Object&>().insert_or_assign(std::string(key), std::move(value));
}
void set_present(JsonValue& node, std::string_view key,
                 const std::optional<std::string>& value) {
  if (value) set(node, key, *value);
}
void set_list(JsonValue& node, std::string_view key,
              const std::vector<std::string>& values) {
  if (!values.empty()) set(node, key, values);
}

JsonValue postal_address(std::string_view street) {
  JsonValue address = new_node({}, "PostalAddress");
  set(address, "streetAddress", street);
  return address;
}

JsonValue image_object(std::string_view id, const std::string& url) {
  JsonValue image = new_node(id, "ImageObject");
  set(image, "contentUrl", url);
  set(image, "url", url);
  return image;
}

// Everything the builder needs, worked out once.
class GraphBuilder {
 public:
  explicit GraphBuilder(const GraphPage& page)
      : page_(page),
        entity_(page.entity),
        config_(page.config),
        base_(without_trailing_slashes(config_.public_base_url)),
        page_url_(without_fragment(page.payload.canonical)),
        image_(choose_og_image(entity_, config_,
                               page.overrides != nullptr ? *page.overrides
                                                         : no_overrides_)) {
    if (page.identity != nullptr) {
      identity_ = *page.identity;
    } else if (config_.publisher_name) {
      Organization publisher;
      publisher.name = *config_.publisher_name;
      publisher.logo = config_.publisher_logo;
      identity_ = std::move(publisher);
    }
    if (identity_) {
      identity_id_ = site_id(std::holds_alternative<Organization>(*identity_)
                                 ? "#organization"
                                 : "#person");
    }
    find_primary();
  }

  Result<JsonValue> build(std::span<const JsonValue> user_nodes) {
    add(website());
    if (identity_) add(identity());
    add(web_page());
    if (primary_ != Primary::None && primary_ != Primary::Home &&
        primary_ != Primary::WebPage) {
      add(primary());
    }
    if (entity_.breadcrumbs) {
      Result<JsonValue> list =
          build_breadcrumb_list(*entity_.breadcrumbs, config_);
      if (!list) return std::move(list).error();
      list->get_ref<Object&>().erase("@context");
      set(*list, "@id", page_id("#breadcrumb"));
      add(std::move(*list));
    }
    if (image_ != nullptr) add(primary_image());
    if (names_author() && author_id() != identity_id_) {
      JsonValue author = new_node(author_id(), "Person");
      set(author, "name", *entity_.author_name);
      add(std::move(author));
    }
    for (const JsonValue& node : user_nodes) join(node, 0);
    JsonValue graph = JsonValue::object();
    set(graph, "@context", kSchemaOrgUrl);
    set(graph, "@graph", std::move(nodes_));
    return graph;
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
    if (const auto* person = identity_ ? std::get_if<Person>(&*identity_)
                                       : nullptr;
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
    const auto known =
        std::find_if(kPrimaries.begin(), kPrimaries.end(),
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

  void add(JsonValue node) { nodes_.push_back(std::move(node)); }

  // Creative works have an author (and carry the page's dates); other
  // entities leave both to the web page.
  [[nodiscard]] bool is_creative_work() const {
    return primary_ == Primary::Article || primary_ == Primary::Video ||
           primary_ == Primary::Other;
  }
  [[nodiscard]] bool names_author() const {
    return entity_.author_name && is_creative_work();
  }

  void add_language(JsonValue& node) const {
    if (!config_.locale) return;
    std::string tag = *config_.locale;
    std::replace(tag.begin(), tag.end(), '_', '-');
    set(node, "inLanguage", std::move(tag));
  }

  void add_dates(JsonValue& node) const {
    set_present(node, "datePublished", entity_.published_at);
    set_present(node, "dateModified", entity_.updated_at);
  }

  void add_text(JsonValue& node, std::string_view name_key) const {
    set(node, name_key, page_.payload.title);
    if (!page_.payload.description.empty()) {
      set(node, "description", page_.payload.description);
    }
  }

  JsonValue website() const {
    JsonValue site = new_node(site_id("#website"), "WebSite");
    set(site, "url", site_id(""));
    set_present(site, "name", config_.site_name);
    if (identity_) set(site, "publisher", reference(identity_id_));
    add_language(site);
    const std::optional<std::string>& search = config_.search_url_template;
    if (search && search->find(kPlaceholder) != std::string::npos) {
      JsonValue target = new_node({}, "EntryPoint");
      set(target, "urlTemplate", *search);
      JsonValue action = new_node({}, "SearchAction");
      set(action, "query-input", "required name=search_term_string");
      set(action, "target", std::move(target));
      set(site, "potentialAction", std::move(action));
    }
    return site;
  }

  JsonValue identity() const {
    if (const auto* org = std::get_if<Organization>(&*identity_)) {
      JsonValue node = new_node(identity_id_, "Organization");
      set(node, "name", org->name);
      set(node, "url", org->url ? absolute(*org->url) : site_id(""));
      if (org->logo) {
        set(node, "logo", image_object(site_id("#logo"), absolute(*org->logo)));
        set(node, "image", reference(site_id("#logo")));
      }
      set_list(node, "sameAs", org->same_as);
      set_present(node, "legalName", org->legal_name);
      set_present(node, "email", org->email);
      set_present(node, "telephone", org->telephone);
      if (org->address) set(node, "address", postal_address(*org->address));
      return node;
    }
    const Person& person = std::get<Person>(*identity_);
    JsonValue node = new_node(identity_id_, "Person");
    set(node, "name", person.name);
    set(node, "url", person.url ? absolute(*person.url) : site_id(""));
    if (person.image) {
      set(node, "image",
          image_object(site_id("#personimage"), absolute(*person.image)));
    }
    set_list(node, "sameAs", person.same_as);
    set_present(node, "jobTitle", person.job_title);
    return node;
  }

  JsonValue web_page() const {
    const std::string_view type =
        primary_ == Primary::WebPage ? std::string_view(type_name_) : "WebPage";
    JsonValue node = new_node(page_id("#webpage"), type);
    set(node, "url", page_.payload.canonical);
    add_text(node, "name");
    set(node, "isPartOf", reference(site_id("#website")));
    add_language(node);
    if (entity_.breadcrumbs) {
      set(node, "breadcrumb", reference(page_id("#breadcrumb")));
    }
    if (image_ != nullptr) {
      set(node, "primaryImageOfPage", reference(page_id("#primaryimage")));
      set(node, "image", reference(page_id("#primaryimage")));
    }
    if (!is_creative_work()) add_dates(node);
    if ((primary_ == Primary::Home || about_identity_) && identity_) {
      set(node, "about", reference(identity_id_));
    } else if (primary_ == Primary::Organization ||
               primary_ == Primary::LocalBusiness) {
      set(node, "about", reference(primary_id_));
    }
    if (primary_ == Primary::WebPage && type_name_ == "FAQPage" &&
        entity_.faq_items) {
      JsonValue questions = JsonValue::array();
      std::size_t number = 0;
      for (const FAQItem& item : *entity_.faq_items) {
        JsonValue answer = new_node({}, "Answer");
        set(answer, "text", item.answer);
        std::string fragment = "#question-";
        fragment.append(std::to_string(++number));
        JsonValue question = new_node(page_id(fragment), "Question");
        set(question, "name", item.question);
        set(question, "acceptedAnswer", std::move(answer));
        questions.push_back(std::move(question));
      }
      set(node, "mainEntity", std::move(questions));
    }
    return node;
  }

  JsonValue primary() const {
    JsonValue node = new_node(primary_id_, type_name_);
    set(node, "mainEntityOfPage", reference(page_id("#webpage")));
    add_text(node, primary_ == Primary::Article ? "headline" : "name");
    if (image_ != nullptr) set(node, "image", reference(page_id("#primaryimage")));
    switch (primary_) {
      case Primary::Article:
      case Primary::Video:
      case Primary::Other:
        add_creative_work(node);
        break;
      case Primary::Product:
        add_product(node);
        break;
      case Primary::Organization:
      case Primary::LocalBusiness:
        set(node, "url", page_.payload.canonical);
        if (entity_.same_as) set_list(node, "sameAs", *entity_.same_as);
        if (primary_ == Primary::LocalBusiness && entity_.address) {
          set(node, "address", postal_address(*entity_.address));
        }
        break;
      default:
        break;
    }
    return node;
  }

  void add_creative_work(JsonValue& node) const {
    add_dates(node);
    add_language(node);
    if (names_author()) set(node, "author", reference(author_id()));
    if (identity_) set(node, "publisher", reference(identity_id_));
    if (primary_ == Primary::Video) {
      if (image_ != nullptr) set(node, "thumbnailUrl", absolute(image_->url));
      set_present(node, "uploadDate", entity_.published_at);
    }
    if (primary_ == Primary::Other) set(node, "url", page_.payload.canonical);
  }

  void add_product(JsonValue& node) const {
    set(node, "url", page_.payload.canonical);
    set_present(node, "sku", entity_.sku);
    if (!entity_.price && !entity_.price_currency && !entity_.availability) {
      return;
    }
    JsonValue offer = new_node({}, "Offer");
    set(offer, "url", page_.payload.canonical);
    set_present(offer, "price", entity_.price);
    set_present(offer, "priceCurrency", entity_.price_currency);
    if (const auto& availability = entity_.availability) {
      // A full URL is kept; a bare word ("InStock") gets the vocabulary.
      const bool full = availability->starts_with("http://") ||
                        availability->starts_with("https://");
      std::string url;
      if (!full) url.append(kSchemaOrgUrl).append("/");
      url.append(*availability);
      set(offer, "availability", std::move(url));
    }
    set(node, "offers", std::move(offer));
  }

  JsonValue primary_image() const {
    JsonValue image =
        image_object(page_id("#primaryimage"), absolute(image_->url));
    if (image_->width) set(image, "width", *image_->width);
    if (image_->height) set(image, "height", *image_->height);
    set_present(image, "caption", image_->alt);
    return image;
  }

  // A user's node (or the nodes of an array or a "@graph" object), joined
  // by "@id". Nesting is bounded by the JSON reader already; the depth
  // guard keeps this walk shallow whatever the value.
  void join(const JsonValue& value, int depth) {
    if (depth > 2) return;
    if (value.is_array()) {
      for (const JsonValue& item : value) join(item, depth + 1);
      return;
    }
    if (!value.is_object()) return;
    const auto graph = value.find("@graph");
    if (graph != value.end() && graph->is_array()) {
      for (const JsonValue& item : *graph) join(item, depth + 1);
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
      for (JsonValue& own : nodes_) {
        const auto own_id = own.find("@id");
        if (own_id != own.end() && *own_id == *id) {
          own = std::move(node);
          return;
        }
      }
    }
    nodes_.push_back(std::move(node));
  }

  const GraphPage& page_;
  const SEOEntity& entity_;
  const SEOConfig& config_;
  const SEOOverrides no_overrides_;
  std::string_view base_;
  std::string_view page_url_;
  const SEOImage* image_;
  std::optional<Identity> identity_;
  std::string identity_id_;
  Primary primary_ = Primary::None;
  std::string type_name_;
  std::string primary_id_;
  bool about_identity_ = false;
  JsonValue::array_t nodes_;
};

void append_flat(const JsonValue& schema, std::vector<JsonValue>& out) {
  if (!schema.is_array()) {
    out.push_back(schema);
    return;
  }
  for (const JsonValue& node : schema) out.push_back(node);
}

}  // namespace

Result<JsonValue> build_jsonld_graph(const GraphPage& page,
                                     std::span<const JsonValue> user_nodes) {
  return GraphBuilder(page).build(user_nodes);
}

Result<std::vector<JsonValue>> supplied_nodes(const GraphPage& page) {
  std::vector<JsonValue> supplied;
  if (!page.payload.schema_jsonld) return supplied;
  std::vector<JsonValue> own;
  if (page.config.auto_generate_schema) {
    const SEOOverrides none;
    const SEOImage* image = choose_og_image(
        page.entity, page.config,
        page.overrides != nullptr ? *page.overrides : none);
    const SchemaContext ctx{
        .entity = page.entity,
        .config = page.config,
        .url = page.payload.canonical,
        .name = page.payload.title,
        .description = page.payload.description,
        .image = image != nullptr
                     ? std::optional<std::string_view>(image->url)
                     : std::nullopt,
        .registry = nullptr,
    };
    Result<std::optional<JsonValue>> generated = generate_schema(ctx);
    if (!generated) return std::move(generated).error();
    if (*generated) append_flat(**generated, own);
  }
  if (page.entity.breadcrumbs) {
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
