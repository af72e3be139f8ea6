// The "SCRIPT" resource of the getAttribute function. Run by the WebDriver
// synchronous-script endpoint as a function body with the request's `args`
// array: [locator, name]. A locator that starts with "/" or "(" is an XPath,
// anything else a CSS selector. The result is the element's property `name`
// when that is a string, a number or a boolean, else its attribute `name`;
// null (an empty value) when there is no such element or neither exists.
var locator = arguments[0];
var name = arguments[1];
try {
  var element = null;
  if (typeof locator !== 'string' || typeof name !== 'string' || locator === '') {
    return null;
  }
  var first = locator.charAt(0);
  if (first === '/' || first === '(') {
    element = document.evaluate(locator, document, null,
        XPathResult.FIRST_ORDERED_NODE_TYPE, null).singleNodeValue;
  } else {
    element = document.querySelector(locator);
  }
  if (!element) {
    return null;
  }
  var value = element[name];
  var kind = typeof value;
  if (kind === 'string' || kind === 'number' || kind === 'boolean') {
    return value;
  }
  return element.getAttribute ? element.getAttribute(name) : null;
} catch (error) {
  // An invalid selector or expression finds nothing.
  return null;
}
