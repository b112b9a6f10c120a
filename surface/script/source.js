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
        const text = document.createTreeWalker(el, NodeFilter.SHOW_TEXT, {
            acceptNode: (n) => /[^ \t\n\r\f]/.test(n.data) ? NodeFilter.FILTER_ACCEPT : NodeFilter.FILTER_SKIP,
        }).nextNode();
        const r = document.createRange();
        if (text)
            r.setStart(text, 0);
        else
            r.setStart(el, 0);
        r.collapse(true);
        controlEl = null;
        restoreRange(r);
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
