    // ---- the caret and the page's source ----------------------------------------
    //
    // Elements are numbered in document order, as a parse of the page's text
    // numbers them, so that the caret can go between the page and its source.

    function elementsInOrder() {
        return [...document.getElementsByTagName('*')].filter((e) => !isOurs(e));
    }

    qk.caretElement = function () {
        const el = anchorElement();
        return el ? elementsInOrder().indexOf(el) : -1;
    };

    qk.caretToElement = function (index) {
        const el = elementsInOrder()[index];
        if (!el || !document.body || !document.body.contains(el))
            return {ok: false, snap: snapshot()};
        controlEl = null;
        restoreRange(caretAtFirstText(el));
        el.scrollIntoView({block: 'nearest'});
        return {ok: true, snap: snapshot()};
    };

    qk.lang = function () {
        return document.documentElement ? (document.documentElement.getAttribute('lang') || '') : '';
    };

    qk.markClean = function () {
        flushMutations();
        dirty = false;
        return snapshot();
    };
